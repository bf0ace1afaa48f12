# make demo  - install what is missing, build the program, convert the bundled sample log
# make test  - install what is missing, build everything, run every test
# make test-sanitize - the whole test suite again under ASan and UBSan
# make package - the Debian package, build/zelvoconverter_<version>_<arch>.deb
# make fuzz   - each fuzz target for FUZZ_SECONDS (60) from its seed corpus (clang)
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: demo test test-sanitize fuzz deps configure build package bench clean

deps:
	@tools/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# Only the program: the tests and benchmarks wait for make test.
demo: configure
	cmake --build $(BUILD) -j$(JOBS) --target zelvoconverter
	@mkdir -p $(BUILD)/demo
	$(BUILD)/zelvoconverter -o $(BUILD)/demo/sample.kmz examples/sample.nmea
	@echo "The result is $(abspath $(BUILD)/demo/sample.kmz)"

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELVO_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j$(JOBS)

package: configure
	cmake --build $(BUILD) -j$(JOBS) --target package

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELVO_FUZZ=ON -DZELVO_BUILD_UI=OFF
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target nmea_fuzz binary_fuzz solution_fuzz settings_fuzz
	tests/fuzz/run_fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	$(BUILD)/bench/zelvo_bench

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD)
