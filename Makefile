# The README's commands. `make check` is also what CI runs.
BUILD ?= build
WIN_BUILD ?= build-win
SAN_BUILD ?= build-san
SANITIZE_FLAGS = -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
TSAN_BUILD ?= build-tsan
TSAN_FLAGS = -fsanitize=thread -fno-omit-frame-pointer
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
# What `make install` and `make package` take: a Release build without tests.
REL_BUILD ?= build-release
PREFIX ?= /usr/local

.PHONY: all deps build check sanitize-build check-sanitize tsan-build check-tsan check-races demo \
  format clean windows windows-package check-windows release install package check-package

all: build

deps:
	scripts/install-deps

build: deps
	scripts/build-freeimage $(BUILD)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

check: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Everything, the picture library included, under AddressSanitizer and UndefinedBehaviorSanitizer
# in $(SAN_BUILD): a finding ends the process that made it with exit code 99 and a stack, which
# fails its test (the end-to-end tests run the sanitized program too). A failed allocation
# returns null, as it does without the sanitizer: running out of storage is something the
# program handles (and tests), not a finding.
ASAN_ENV = ASAN_OPTIONS=halt_on_error=1:abort_on_error=0:exitcode=99:detect_leaks=1:allocator_may_return_null=1 \
  UBSAN_OPTIONS=halt_on_error=1:abort_on_error=0:exitcode=99:print_stacktrace=1
sanitize-build: deps
	FREEIMAGE_CFLAGS="$(SANITIZE_FLAGS)" scripts/build-freeimage $(SAN_BUILD)
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DDOLVANE_SANITIZE="$(SANITIZE_FLAGS)"
	cmake --build $(SAN_BUILD) -j $(JOBS)

check-sanitize: sanitize-build
	cd $(SAN_BUILD) && $(ASAN_ENV) ctest --output-on-failure -j $(JOBS)

# The end-to-end tests with the program, the picture library included, built with
# ThreadSanitizer in $(TSAN_BUILD): the pieces of a cut are written by several threads at once,
# and a data race ends the program with exit code 66, which fails its test.
TSAN_ENV = TSAN_OPTIONS=halt_on_error=1:exitcode=66
tsan-build: deps
	FREEIMAGE_CFLAGS="$(TSAN_FLAGS)" scripts/build-freeimage $(TSAN_BUILD)
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDOLVANE_SANITIZE="$(TSAN_FLAGS)"
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target dolvane dolvane_tests

check-tsan: tsan-build
	cd $(TSAN_BUILD) && $(TSAN_ENV) ctest --output-on-failure -j $(JOBS) -R 'E2E'

# The end-to-end tests that cut on several cores, again and again under both sanitizers while a
# busy loop takes every core: races show when threads are put aside at the wrong moment, which
# an idle machine rarely does. A failure that shows once is a fault. CI runs this.
RACE_TESTS ?= PieceWritersE2E
RACE_REPEATS ?= 3
check-races: sanitize-build tsan-build
	$(ASAN_ENV) tests/run-under-load $(SAN_BUILD) -j $(JOBS) -R '$(RACE_TESTS)' \
	  --repeat until-fail:$(RACE_REPEATS)
	$(TSAN_ENV) tests/run-under-load $(TSAN_BUILD) -j $(JOBS) -R '$(RACE_TESTS)' \
	  --repeat until-fail:$(RACE_REPEATS)

# The picture library, the program and the demo's picture maker alone: no test is built.
demo: deps
	scripts/build-freeimage $(BUILD)
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS) --target dolvane dolvane_demo_picture
	scripts/demo $(BUILD)

# Only the program, its manual page and the package's changelog are built in $(REL_BUILD)
# (installing and CPack build nothing else there). It links the picture library of $(BUILD):
# the same library with the same flags, so it is built once.
release: deps
	scripts/build-freeimage $(BUILD)
	cmake -S . -B $(REL_BUILD) -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
	  -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON -DFREEIMAGE_DIR=$(abspath $(BUILD))/freeimage
	cmake --build $(REL_BUILD) -j $(JOBS) --target dolvane dolvane_man dolvane_changelog

# bin/dolvane and share/man/man1/dolvane.1.gz under $(PREFIX), inside $(DESTDIR) when given.
# Stripped like the package's: the picture library comes with debugging information.
install: release
	DESTDIR="$(if $(DESTDIR),$(abspath $(DESTDIR)))" \
	  cmake --install $(REL_BUILD) --prefix "$(PREFIX)" --strip

# $(REL_BUILD)/dolvane_VERSION_ARCH.deb
package: release
	cd $(REL_BUILD) && cpack

# Builds the package and checks it, installed for real when run as root (CI is).
check-package:
	tests/package/check-deb $(BUILD) $(REL_BUILD)

# The Windows program, cross-compiled: $(WIN_BUILD)/dolvane.exe.
windows:
	scripts/install-deps --windows
	FREEIMAGE_CFLAGS=-fstack-protector-strong scripts/build-freeimage --windows $(WIN_BUILD)
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
	rm -rf $(BUILD) $(WIN_BUILD) $(SAN_BUILD) $(TSAN_BUILD) $(REL_BUILD) build-fuzz build-bench demo-out
