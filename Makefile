# The two commands of the README. Everything else is CMake's.
BUILD ?= build
GAME ?= examples/game

.PHONY: run test build deps clean

run: build
	cd $(GAME) && "$(CURDIR)/$(BUILD)/src/app/nimbrel"

test: build
	ctest --test-dir $(BUILD) --output-on-failure

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD)

deps:
	@bash scripts/install-deps

clean:
	rm -rf $(BUILD)
