# The two everyday commands. Everything else is CMake and CTest.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_ARGS ?=

.PHONY: run test bench tidy deps run-deps build clean package windows test-windows

deps:
	@sh scripts/install-deps

run-deps:
	@sh scripts/install-deps run

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Debug $(CMAKE_ARGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Only the program and what stands beside it: no test is built, and a later `make test` in the same
# folder builds on what is there.
run: run-deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target velmora velmora_templates
	@sh scripts/run-staged $(BUILD)/app

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_TESTS=OFF
	cmake --build build-bench -j $(JOBS) --target velmora
	cmake --build build-bench --target bench

# The .deb: a release build of the installed layout, without tests, hardened with Debian's own
# build flags, packed by CPack into build-pkg/velmora_<version>_amd64.deb.
package: export DEB_BUILD_MAINT_OPTIONS = hardening=+all
package: deps
	cmake -S . -B build-pkg -DCMAKE_BUILD_TYPE=Release -DVELMORA_LAYOUT=Installed \
		-DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_BENCH=OFF \
		-DCMAKE_CXX_FLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
		-DCMAKE_EXE_LINKER_FLAGS="$$(dpkg-buildflags --get LDFLAGS)" $(CMAKE_ARGS)
	cmake --build build-pkg -j $(JOBS)
	cd build-pkg && cpack -G DEB

# The Windows build (scripts/windows): WIN_QT=<folder> points at a toolchain folder other than the
# unpacked ../shared/toolchains archive.
windows:
	@sh scripts/install-deps windows
	@sh scripts/windows build

test-windows:
	@sh scripts/install-deps windows
	@sh scripts/windows test

# clang-tidy over the product sources with the checks of .clang-tidy (the Windows-only backend
# needs ActiveQt headers and is left out here).
tidy: build
	run-clang-tidy -quiet -p $(BUILD) $$(git ls-files '*.cpp' | grep -E '^(app|engine|settings|reports|export|seams)/' | grep -v '/ax/')

clean:
	rm -rf $(BUILD) build-asan build-bench build-pkg build-win
