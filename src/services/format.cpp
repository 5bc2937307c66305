#include "services/format.h"

#include <algorithm>
#include <climits>

namespace orv {

namespace {

struct Spec {
  bool left = false, plus = false, space = false, alternate = false, zero = false;
  int width = 0;
  int precision = -1;  // -1: none given
  int bits = 32;       // width of an integer argument
  Char conversion = 0;
};

void Pad(WString& out, size_t count, Char fill) { out.append(count, fill); }

// Places `body` (with its sign or prefix) in the field of `spec.width`.
void EmitField(WString& out, const Spec& spec, WStringView prefix, WStringView body,
               bool zeroPadAllowed) {
  const size_t length = prefix.size() + body.size();
  const size_t width = spec.width > 0 ? static_cast<size_t>(spec.width) : 0;
  const size_t padding = width > length ? width - length : 0;
  if (spec.left) {
    out += prefix;
    out += body;
    Pad(out, padding, ' ');
  } else if (spec.zero && zeroPadAllowed) {
    out += prefix;
    Pad(out, padding, '0');
    out += body;
  } else {
    Pad(out, padding, ' ');
    out += prefix;
    out += body;
  }
}

WString Digits(uint64_t value, unsigned base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  WString text;
  do {
    text.insert(text.begin(), static_cast<Char>(digits[value % base]));
    value /= base;
  } while (value != 0);
  return text;
}

void EmitInteger(WString& out, const Spec& spec, uint64_t bits) {
  const bool isSigned = spec.conversion == 'd' || spec.conversion == 'i';
  const uint64_t mask = spec.bits == 64 ? ~0ULL : (1ULL << spec.bits) - 1;
  uint64_t magnitude = bits & mask;
  bool negative = false;
  if (isSigned && spec.bits < 64 && (magnitude >> (spec.bits - 1)) != 0) {
    negative = true;
    magnitude = ((~magnitude) & mask) + 1;
  } else if (isSigned && spec.bits == 64 && static_cast<int64_t>(magnitude) < 0) {
    negative = true;
    magnitude = ~magnitude + 1;
  }

  unsigned base = 10;
  if (spec.conversion == 'x' || spec.conversion == 'X') base = 16;
  if (spec.conversion == 'o') base = 8;
  WString body;
  if (!(spec.precision == 0 && magnitude == 0))
    body = Digits(magnitude, base, spec.conversion == 'X');
  if (spec.precision > 0 && body.size() < static_cast<size_t>(spec.precision))
    body.insert(0, static_cast<size_t>(spec.precision) - body.size(), '0');

  WString prefix;
  if (isSigned) {
    if (negative) prefix = ORV_T("-");
    else if (spec.plus) prefix = ORV_T("+");
    else if (spec.space) prefix = ORV_T(" ");
  } else if (spec.alternate && magnitude != 0) {
    if (base == 16) prefix = spec.conversion == 'X' ? ORV_T("0X") : ORV_T("0x");
    if (base == 8 && (body.empty() || body[0] != '0')) prefix = ORV_T("0");
  }
  EmitField(out, spec, prefix, body, spec.precision < 0);
}

void EmitString(WString& out, const Spec& spec, const Char* text) {
  WStringView view = text ? WStringView(text) : WStringView(ORV_T("(null)"));
  if (spec.precision >= 0 && view.size() > static_cast<size_t>(spec.precision))
    view = view.substr(0, static_cast<size_t>(spec.precision));
  EmitField(out, spec, {}, view, false);
}

// Widths and precisions beyond this are taken as this: no log line needs more, and a
// hostile format cannot make one conversion allocate without bound.
constexpr int kMaxField = 4096;

int ReadNumber(WStringView format, size_t& i) {
  int value = 0;
  while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
    value = std::min(value * 10 + (format[i] - '0'), kMaxField);
    ++i;
  }
  return value;
}

}  // namespace

WString FormatList(WStringView format, std::span<const FormatArg> args) {
  WString out;
  size_t next = 0;
  auto take = [&]() -> const FormatArg* { return next < args.size() ? &args[next++] : nullptr; };
  auto takeInt = [&]() -> int {
    const FormatArg* arg = take();
    return arg && arg->kind() == FormatArg::Kind::kInteger ? static_cast<int>(arg->bits()) : 0;
  };

  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    const size_t start = i++;
    Spec spec;
    for (; i < format.size(); ++i) {
      const Char c = format[i];
      if (c == '-') spec.left = true;
      else if (c == '+') spec.plus = true;
      else if (c == ' ') spec.space = true;
      else if (c == '#') spec.alternate = true;
      else if (c == '0') spec.zero = true;
      else break;
    }
    if (i < format.size() && format[i] == '*') {
      spec.width = takeInt();
      if (spec.width < 0) {
        spec.left = true;
        spec.width = spec.width == INT_MIN ? kMaxField : -spec.width;
      }
      spec.width = std::min(spec.width, kMaxField);
      ++i;
    } else {
      spec.width = ReadNumber(format, i);
    }
    if (i < format.size() && format[i] == '.') {
      ++i;
      if (i < format.size() && format[i] == '*') {
        spec.precision = std::min(takeInt(), kMaxField);  // negative: none given
        if (spec.precision < 0) spec.precision = -1;
        ++i;
      } else {
        spec.precision = ReadNumber(format, i);
      }
    }
    // Length modifiers: h, l, ll, I64, I32, w (wide, the default here).
    const WStringView rest = format.substr(i);
    if (rest.starts_with(ORV_T("I64")) || rest.starts_with(ORV_T("ll"))) {
      spec.bits = 64;
      i += rest[0] == 'I' ? 3 : 2;
    } else if (rest.starts_with(ORV_T("I32"))) {
      i += 3;
    } else if (!rest.empty() && (rest[0] == 'l' || rest[0] == 'w')) {
      i += 1;
    } else if (!rest.empty() && rest[0] == 'h') {
      spec.bits = 16;
      i += 1;
    }
    if (i >= format.size()) {  // a lone '%' at the end stands for itself
      out += format.substr(start);
      break;
    }
    spec.conversion = format[i];
    switch (spec.conversion) {
      case '%':
        out += '%';
        break;
      case 'd': case 'i': case 'u': case 'x': case 'X': case 'o': {
        const FormatArg* arg = take();
        EmitInteger(out, spec, arg ? arg->bits() : 0);
        break;
      }
      case 'c': {
        const FormatArg* arg = take();
        const Char c[2] = {static_cast<Char>(arg ? arg->bits() : ' '), 0};
        EmitField(out, spec, {}, WStringView(c, 1), false);
        break;
      }
      case 's': case 'S': {
        const FormatArg* arg = take();
        EmitString(out, spec, arg && arg->kind() == FormatArg::Kind::kString ? arg->text() : nullptr);
        break;
      }
      case 'p': {
        const FormatArg* arg = take();
        Spec pointer = spec;
        pointer.conversion = 'X';
        pointer.bits = sizeof(void*) * 8;
        pointer.precision = static_cast<int>(sizeof(void*) * 2);
        EmitInteger(out, pointer, arg ? arg->bits() : 0);
        break;
      }
      default:  // unknown conversion: copied as written
        out += format.substr(start, i - start + 1);
        break;
    }
  }
  return out;
}

}  // namespace orv
