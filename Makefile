# The two commands of the README. Everything else is CMake's.
BUILD ?= build
GAME ?= examples/game

.PHONY: run test build deps clean package windows windows-test

# The program alone: only what it needs is installed and built.
run:
	@bash scripts/install-deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBREL_TESTS=OFF -DNIMBREL_BENCH=OFF
	cmake --build $(BUILD) --target nimbrel
	cd $(GAME) && "$(CURDIR)/$(BUILD)/src/app/nimbrel"

test: build
	ctest --test-dir $(BUILD) --output-on-failure

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBREL_TESTS=ON -DNIMBREL_BENCH=ON
	cmake --build $(BUILD)

# Everything the program, its tests and CI's checks need; an administrator can run it once.
deps:
	@bash scripts/install-deps test

# The Debian package: the program alone, Release, hardened, in build-package/.
package: deps
	bash scripts/build-package

# The Windows program, cross-built: build-win/out/Nimbrel-<version>-windows-x86_64 and its zip.
windows:
	@bash scripts/install-deps windows
	bash scripts/build-windows

# The same, then every test as a Windows program under Wine.
windows-test:
	@bash scripts/install-deps windows
	bash scripts/build-windows --test

clean:
	rm -rf $(BUILD) build-package build-win
