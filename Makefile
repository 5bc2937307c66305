# The two commands of the README. Each installs what it needs first.
#   make demo   builds the library and the program and runs the program's self-check
#   make test   the whole suite: Linux build and tests (sanitizers), Windows build and
#               the Windows tests under Wine (on the 64-bit test build where this machine
#               cannot execute 32-bit code)

export WINEPREFIX ?= $(CURDIR)/build/wine
export WINEDEBUG ?= -all
MAKEFLAGS += --no-print-directory
JOBS ?= $(shell nproc)

.PHONY: setup demo test build-linux test-linux test-windows test-windows64 check-windows-binary \
  fuzz fuzz-build fuzz-run

setup:
	bash scripts/setup

demo: setup
	cmake --preset linux-release >/dev/null
	cmake --build --preset linux-release -j$(JOBS)
	./build/linux-release/bin/vantrel selfcheck
	bash scripts/inp-demo.sh ./build/linux-release/bin/vantrel
	bash scripts/image-demo.sh ./build/linux-release/bin/vantrel

# The Linux tests run last so that their summary closes the output; the fuzz smoke run
# (30 seconds per archive version) takes its seeds from the Linux test program.
test: setup test-windows build-linux
	$(MAKE) fuzz-run FUZZ_SECONDS=30
	$(MAKE) test-linux

build-linux:
	cmake --preset linux-debug >/dev/null
	cmake --build --preset linux-debug -j$(JOBS)

test-linux: build-linux
	ctest --preset linux-debug -j$(JOBS)

# Where 32-bit programs cannot run, the 32-bit build makes what ships (the DLL, the
# program, lamina) and links the Microsoft-ABI client, but not the test program that
# could not run; the tests run on the 64-bit build instead.
WINDOWS32_PRODUCT = --target vantrel vantrel_cli lamina msvc_client
test-windows:
	cmake --preset windows >/dev/null
	@if bash scripts/runs-32-bit-code; then \
	  cmake --build --preset windows -j$(JOBS) && \
	  $(MAKE) check-windows-binary OBJDUMP=i686-w64-mingw32-objdump BUILD=build/windows && \
	  ctest --preset windows; \
	else \
	  echo "*** This machine cannot execute 32-bit programs: the 32-bit DLL is built and its"; \
	  echo "*** exports and imports are checked, but its tests run on the 64-bit build."; \
	  cmake --build --preset windows -j$(JOBS) $(WINDOWS32_PRODUCT) && \
	  $(MAKE) check-windows-binary OBJDUMP=i686-w64-mingw32-objdump BUILD=build/windows && \
	  $(MAKE) test-windows64; \
	fi

check-windows-binary:
	$(OBJDUMP) -p $(BUILD)/bin/Vantrel.dll | bash scripts/check-exports
	$(OBJDUMP) -p $(BUILD)/bin/Vantrel.dll | bash scripts/check-imports

# The same Windows tests on a 64-bit build, run by the 64-bit Wine loader.
test-windows64:
	cmake --preset windows64 >/dev/null
	cmake --build --preset windows64 -j$(JOBS)
	$(MAKE) check-windows-binary OBJDUMP=x86_64-w64-mingw32-objdump BUILD=build/windows64
	WINEPREFIX=$(CURDIR)/build/wine64 ctest --preset windows64

# The archive fuzz target (clang, libFuzzer, AddressSanitizer), seeded by the tests.
FUZZ_SECONDS ?= 600
fuzz: setup build-linux fuzz-run

fuzz-build:
	cmake -S . -B build/fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_FUZZ=ON -DVANTREL_TESTS=OFF >/dev/null
	cmake --build build/fuzz --target vantrel_archive_walk_fuzz vantrel_archive_fuzz -j$(JOBS)

fuzz-run: fuzz-build
	bash scripts/fuzz-archive.sh build/fuzz/bin/vantrel_archive_walk_fuzz \
	  build/fuzz/bin/vantrel_archive_fuzz build/linux-debug/bin/vantrel_tests $(FUZZ_SECONDS)
