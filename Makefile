# The two commands of the README. Each installs what it needs first.
#   make demo   builds the library and the program and runs the program's self-check
#   make test   the whole suite: Linux build and tests (sanitizers), Windows build and
#               the Windows tests under Wine

export WINEPREFIX ?= $(CURDIR)/build/wine
export WINEDEBUG ?= -all
JOBS ?= $(shell nproc)

.PHONY: setup demo test build-linux test-linux test-windows fuzz fuzz-build fuzz-run

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

test-windows:
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j$(JOBS)
	i686-w64-mingw32-objdump -p build/windows/bin/Vantrel.dll | bash scripts/check-exports
	i686-w64-mingw32-objdump -p build/windows/bin/Vantrel.dll | bash scripts/check-imports
	ctest --preset windows

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
