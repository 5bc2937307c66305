# The two commands of the README. Each installs what it needs first.
#   make demo   builds the library and the program and runs the program's self-check
#   make test   the whole suite: Linux build and tests (sanitizers), Windows build and
#               the Windows tests under Wine

export WINEPREFIX ?= $(CURDIR)/build/wine
export WINEDEBUG ?= -all
JOBS ?= $(shell nproc)

.PHONY: setup demo test test-linux test-windows

setup:
	bash scripts/setup

demo: setup
	cmake --preset linux-release >/dev/null
	cmake --build --preset linux-release -j$(JOBS)
	./build/linux-release/bin/vantrel selfcheck

test: setup test-linux test-windows

test-linux:
	cmake --preset linux-debug >/dev/null
	cmake --build --preset linux-debug -j$(JOBS)
	ctest --preset linux-debug -j$(JOBS)

test-windows:
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j$(JOBS)
	i686-w64-mingw32-objdump -p build/windows/bin/Vantrel.dll | bash scripts/check-exports
	ctest --preset windows
