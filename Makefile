# The README's two commands: `make` builds everything and runs the demo; `make test` builds and
# runs every test suite. Each build lives in its own folder under build/.
.PHONY: all deps native test test-native clean

BUILD := build
NATIVE := $(BUILD)/native
JOBS ?= 2

all: native

deps:
	@scripts/install-deps

native: deps
	@cmake -S . -B $(NATIVE) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS)

test: test-native

test-native: native
	cd $(NATIVE) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
