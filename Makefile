# The two commands of the README. Everything else is CMake's.
BUILD ?= build
GAME ?= examples/game

.PHONY: run test build deps deps-test clean package windows windows-test

# The program alone: only what it needs is installed and built.
run:
	@bash scripts/install-deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBREL_TESTS=OFF -DNIMBREL_BENCH=OFF
	cmake --build $(BUILD) --target nimbrel
	cd $(GAME) && "$(CURDIR)/$(BUILD)/src/app/nimbrel"

test: build
	ctest --test-dir $(BUILD) --output-on-failure

build: deps-test
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNIMBREL_TESTS=ON -DNIMBREL_BENCH=ON
	cmake --build $(BUILD)

# What `make run` needs, and what `make test` and CI's checks need besides; an administrator
# can run either once.
deps:
	@bash scripts/install-deps

deps-test:
	@bash scripts/install-deps test

# The Debian package: the program alone, Release, hardened, in build-package/.
package: deps-test
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
