# The README's commands. `make check` is also what CI runs.
BUILD ?= build
WIN_BUILD ?= build-win
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build check demo format clean windows windows-package check-windows

all: build

deps:
	scripts/install-deps

build: deps
	scripts/build-freeimage $(BUILD)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	scripts/demo $(BUILD)

# The Windows program, cross-compiled: $(WIN_BUILD)/dolvane.exe.
windows:
	scripts/install-deps --windows
	scripts/build-freeimage --windows $(WIN_BUILD)
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(WIN_BUILD) -j $(JOBS)

windows-package: windows
	scripts/package-windows $(WIN_BUILD)

# Under Wine; the Linux build is the reference the Windows pieces are compared with.
check-windows: windows-package build
	tests/windows/run $(WIN_BUILD) $(BUILD)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(WIN_BUILD) demo-out
