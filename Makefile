# The README's two commands: `make` builds what ships (dustweave, the three modules) and runs the
# demo; `make test` builds and runs every test suite. Each build lives in its own folder under
# build/. Each installs what it needs first (scripts/install-deps): `make` only what building
# takes, `make test` and every test-* target also what the suites take.
.PHONY: all deps native native-tests test test-native clean

BUILD := build
NATIVE := $(BUILD)/native
JOBS ?= 2

all: native modules

# One set-up a run, for everything its goals need: the tests' set for `make test`, any test-*
# target, the sanitizer build, fuzzing, the bench and the check of every float; the release's for
# `make dist`; else what building takes.
TEST_GOALS := test test-% asan fuzz bench bench-row check-floats native-tests win64-tests win32-tests i686
DEPS_SET := $(if $(filter $(TEST_GOALS),$(MAKECMDGOALS)),--tests,$(if $(filter dist dist-check,$(MAKECMDGOALS)),--release))

deps:
	@scripts/install-deps $(DEPS_SET)

# What ships: the module and dustweave, nothing else built. A build folder `make` makes holds no
# tests (DUSTWEAVE_TESTS=OFF, so neither GoogleTest nor Python is needed); one `make test` made
# holds them too, and only what ships is built in it here.
SHIPPED := mirod_dustweave dustweave
shipped_only = $(if $(wildcard $(1)/CMakeCache.txt),,-DDUSTWEAVE_TESTS=OFF)

native: deps
	@cmake -S . -B $(NATIVE) -G Ninja -DCMAKE_BUILD_TYPE=Release $(call shipped_only,$(NATIVE)) >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS) --target $(SHIPPED)

# The native build with every suite, the fuzz seeds' writer and the bench.
native-tests: deps
	@cmake -S . -B $(NATIVE) -G Ninja -DCMAKE_BUILD_TYPE=Release -DDUSTWEAVE_TESTS=ON >/dev/null
	@cmake --build $(NATIVE) -j $(JOBS)

# The demo: the typical pfx file (200 particles, index limit 100, every track 0..100) through
# the built module with step 0.25, the chains written as OBJ, an SVG picture and a 3D page, then
# converted to glTF binary for Blender or a web viewer.
.PHONY: demo
DEMO := $(BUILD)/demo
all: demo

demo: native
	@mkdir -p $(DEMO)
	@$(NATIVE)/dustweave generate $(DEMO)/typical.pfx --force >/dev/null
	@$(NATIVE)/dustweave run $(NATIVE)/mirod_dustweave.so --file $(DEMO)/typical.pfx --step 0.25 \
	    --obj $(DEMO)/chains.obj --svg $(DEMO)/chains.svg --html $(DEMO)/chains.html
	@$(NATIVE)/dustweave convert $(DEMO)/typical.pfx $(DEMO)/chains.glb --step 0.25 --surface Dust

# Each suite's results are kept as JUnit XML in its build folder; the last lines of `make test`
# (scripts/test-summary) say how many tests ran, passed and were skipped, and why.
CTEST := ctest --output-on-failure -j $(JOBS) --output-junit junit.xml
SUITES := $(NATIVE) $(BUILD)/asan $(BUILD)/win64 $(BUILD)/win32 $(BUILD)/i686
ARCHIVE_RESULTS := $(BUILD)/archive-test.json

test: test-native test-asan test-fuzz test-windows test-i686 test-dist
	@scripts/test-summary $(SUITES) --archive $(ARCHIVE_RESULTS)

# The fault search's cases each add a line to a summary, whose total is printed at the end.
FAULT_SEARCH_TOTAL = awk -F'operations, ' '{ split($$2, w, " "); points += w[1]; cases++ } \
    END { if (cases) printf "fault search: %d cases, %d fault points tried\n", cases, points }'

test-native: native-tests
	@rm -f $(NATIVE)/tests/fault-search-summary.txt
	cd $(NATIVE) && $(CTEST)
	@$(FAULT_SEARCH_TOTAL) $(NATIVE)/tests/fault-search-summary.txt 2>/dev/null || true

# The whole suite again under clang's AddressSanitizer and UndefinedBehaviorSanitizer (the first
# report fails), then every fuzz target over its seed corpus and briefly. `make fuzz` fuzzes longer.
.PHONY: asan test-asan test-fuzz fuzz
ASAN := $(BUILD)/asan
FUZZ_SECONDS ?= 60
SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

asan: deps
	@cmake -S . -B $(ASAN) -G Ninja -C cmake/asan.cmake >/dev/null
	@cmake --build $(ASAN) -j $(JOBS)

test-asan: asan
	@rm -f $(ASAN)/tests/fault-search-summary.txt
	cd $(ASAN) && $(SANITIZER_ENV) $(CTEST)
	@$(FAULT_SEARCH_TOTAL) $(ASAN)/tests/fault-search-summary.txt 2>/dev/null || true

test-fuzz: asan
	@scripts/fuzz-run $(ASAN) 30

fuzz: asan
	@scripts/fuzz-run $(ASAN) $(FUZZ_SECONDS)

# The Windows deliverables mirod_dustweave64.p and mirod_dustweave32.p, with dustweave64.exe and
# dustweave32.exe, cross-compiled by the presets win64 and win32 (`make` builds only these);
# their suites run under wine, the 32-bit ones only where this machine runs 32-bit programs
# (skipped elsewhere, with the reason). The preset i686 builds the module, dustweave and the
# native suites for 32-bit Linux and runs them under qemu, on every machine. `make` gathers the
# three modules in build/modules.
.PHONY: windows win64 win32 win64-tests win32-tests i686 modules test-windows test-win64 test-win32 test-i686
WINDOWS := win64 win32
MODULES := $(BUILD)/modules

windows: $(WINDOWS)

$(WINDOWS): deps
	@cmake --preset $@ -B $(BUILD)/$@ $(call shipped_only,$(BUILD)/$@) >/dev/null
	@cmake --build $(BUILD)/$@ -j $(JOBS) --target $(SHIPPED)

# The same trees with their suites, which compare with the native build's outputs.
win64-tests win32-tests i686: deps native-tests
	@cmake --preset $(@:-tests=) -B $(BUILD)/$(@:-tests=) -DDUSTWEAVE_TESTS=ON \
	    -DDUSTWEAVE_NATIVE_BUILD=$(abspath $(NATIVE)) >/dev/null
	@cmake --build $(BUILD)/$(@:-tests=) -j $(JOBS)

modules: native $(WINDOWS)
	@mkdir -p $(MODULES)
	@cp $(NATIVE)/mirod_dustweave.so $(BUILD)/win64/mirod_dustweave64.p \
	    $(BUILD)/win32/mirod_dustweave32.p $(MODULES)/
	@echo "modules in $(MODULES)/: mirod_dustweave64.p, mirod_dustweave32.p, mirod_dustweave.so"

test-windows: test-win64 test-win32

test-win64 test-win32: test-%: %-tests
	cd $(BUILD)/$* && $(CTEST)
	@scripts/test-summary $(BUILD)/$* --skipped-only

test-i686: i686
	cd $(BUILD)/i686 && $(CTEST)
	@scripts/test-summary $(BUILD)/i686 --skipped-only

clean:
	rm -rf $(BUILD)

# Throughput of the command run (native module, dustweave run --discard) against a raw read of
# the same file, and of conversions against reading and writing as many bytes, for files of about
# 64 MiB and 1 GiB generated under build/bench (and others for some rows: bench/driver.cpp);
# then the 3D preview page of a 2.4 GB simulation
# (200 M points): its size, the conversion's peak memory and the time to open it in Chromium.
.PHONY: bench
bench: native-tests
	@mkdir -p $(BUILD)/bench
	@missed=0; \
	$(NATIVE)/bench/bench_driver --dustweave $(NATIVE)/dustweave --module $(NATIVE)/mirod_dustweave.so \
	    --raw-read $(NATIVE)/bench/bench_raw_read --raw-write $(NATIVE)/bench/bench_raw_write \
	    --dir $(BUILD)/bench || missed=1; \
	echo; \
	$(NATIVE)/bench/bench_page --dustweave $(NATIVE)/dustweave --module $(NATIVE)/mirod_dustweave.so \
	    --node $$(command -v node) --opener bench/page_open.js --dir $(BUILD)/bench \
	    --out $$(if [ -d /dev/shm ]; then echo /dev/shm; else echo $(BUILD)/bench; fi) || missed=1; \
	exit $$missed

# One row of the bench's table alone, on its files alone: make bench-row ROW="animate to .usdc".
.PHONY: bench-row
bench-row: native-tests
	@mkdir -p $(BUILD)/bench
	$(NATIVE)/bench/bench_driver --dustweave $(NATIVE)/dustweave --module $(NATIVE)/mirod_dustweave.so \
	    --raw-read $(NATIVE)/bench/bench_raw_read --raw-write $(NATIVE)/bench/bench_raw_write \
	    --dir $(BUILD)/bench --only "$(ROW)"

# The text of every finite float, as the writers make it, against std::to_chars' and read back:
# some minutes on two cores, so no suite runs it (the writers' suite takes a sample).
.PHONY: check-floats
check-floats: native-tests
	$(NATIVE)/tests/float_text_check

# ---- the release ------------------------------------------------------------------------------
# `make dist` writes the two archives a user downloads into dist/: the Windows zip (both modules,
# dustweave64.exe and dustweave32.exe, the texts with Windows line ends) and the Linux tarball.
# Only the modules and dustweave are built for them. Their dates come from the commit
# (SOURCE_DATE_EPOCH), so two builds of one commit give the same bytes; `make dist-check` proves
# it against a fresh clone's.
.PHONY: dist dist-check test-dist
VERSION := $(shell cat VERSION)
DIST := dist
WINDOWS_DIST := mirod_dustweave-$(VERSION)-windows
LINUX_DIST := dustweave-$(VERSION)-linux-x86_64
# Each archive has its own README.txt: Windows commands in the zip, Linux ones in the tarball.
# Both carry the pages of docs/ that README.txt points to, and the Blender recipe's script.
DIST_DOCS := $(sort $(wildcard docs/*.md)) docs/grow_with_frame.py
DIST_TEXTS := --version $(VERSION) --text LICENSE.txt=LICENSE --text CHANGELOG.txt=CHANGELOG.md \
    $(foreach page,$(DIST_DOCS),--text $(page)=$(page))
# The commit's time; outside a git checkout, a fixed one (2026-01-01 00:00 UTC).
SOURCE_DATE_EPOCH ?= $(shell git log -1 --format=%ct 2>/dev/null || echo 1767225600)
export SOURCE_DATE_EPOCH

dist: deps native $(WINDOWS)
	@scripts/dist-archive --out $(DIST)/$(WINDOWS_DIST).zip --folder $(WINDOWS_DIST) --crlf \
	    --file mirod_dustweave64.p=$(BUILD)/win64/mirod_dustweave64.p \
	    --file mirod_dustweave32.p=$(BUILD)/win32/mirod_dustweave32.p \
	    --program dustweave64.exe=$(BUILD)/win64/dustweave64.exe \
	    --program dustweave32.exe=$(BUILD)/win32/dustweave32.exe --text README.txt=release/README.txt $(DIST_TEXTS)
	@scripts/dist-archive --out $(DIST)/$(LINUX_DIST).tar.gz --folder $(LINUX_DIST) \
	    --file mirod_dustweave.so=$(NATIVE)/mirod_dustweave.so \
	    --program dustweave=$(NATIVE)/dustweave --text README.txt=release/README-linux.txt $(DIST_TEXTS)

# `make dist` here and in a fresh clone of the current commit in a folder of another name and
# depth, every archive and deliverable compared byte for byte.
dist-check: deps
	@scripts/dist-check

# The archives as a user gets them: unpacked afresh, their sums checked, each module run on the
# typical file (the Windows ones under wine, in the wine prefixes of the win64 and win32 builds).
test-dist: win64-tests win32-tests dist
	@cmake --build $(BUILD)/win32 --target wine_probe >/dev/null
	@python3 tests/release/archive_test.py --dist $(DIST) --version $(VERSION) --build $(BUILD) \
	    --results $(ARCHIVE_RESULTS)
