# Thin wrapper around CMake for the two everyday commands (./run-example and ./run-tests install
# what they need first, then run them).
#   make run          build the program and run it on the bundled genotype table
#   make run-classic  the same data as the classic files (group.dat and the fixed-column file)
#   make test         configure, build and run every test (asserts active)
#   make bench  build and run the benchmarks, without asserts, in a build of their own
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
BENCH_BUILD ?= build-bench
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all configure build program test test-sanitize run run-classic bench clean

all: build

configure:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARNEL_WERROR=ON \
	  -DQUARNEL_ASSERTS=ON $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# The program alone: what `make run` needs, without the tests and benchmarks.
program: configure
	cmake --build $(BUILD) -j $(JOBS) --target quarnel

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	@tools/skipped_tests.sh $(BUILD)

# Every test, end-to-end cases included, under AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize:
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUARNEL_SANITIZE=ON \
	  -DQUARNEL_WERROR=ON -DQUARNEL_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $(JOBS)
	@tools/skipped_tests.sh $(SANITIZE_BUILD)

# Emptied first: the program never overwrites a result file that is not empty.
run: program
	@rm -rf scratch/example && mkdir -p scratch/example
	$(BUILD)/quarnel --genotypes examples/population.csv --out scratch/example/population

run-classic: program
	@rm -rf scratch/classic && mkdir -p scratch/classic
	cp examples/*.dat scratch/classic/
	cd scratch/classic && ../../$(BUILD)/quarnel
	@echo
	@echo "Report file: scratch/classic/$$(sed -n 4p examples/group.dat | sed 's/ *$$//')"

# Measured as shipped: Release with asserts compiled out.
bench:
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARNEL_WERROR=ON \
	  -DQUARNEL_ASSERTS=OFF -DQUARNEL_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	@for b in $(BENCH_BUILD)/bench/*_bench; do echo "== $$b"; $$b; done
	@echo "== full runs"; bench/full_run.sh $(BENCH_BUILD)/quarnel
	@echo "== the two rule sets side by side"; bench/rule_sets.sh $(BENCH_BUILD)/quarnel
	@echo "== where the time goes (10 populations x 100 individuals x 4 loci of 5 alleles)"
	@mkdir -p scratch && python3 bench/make_table.py 10 100 4 5 scratch/base.csv && \
	  $(BENCH_BUILD)/bench/pipeline_shares scratch/base.csv 1000
	@echo "== the EM alone, 100 permuted data sets replayed (best of 5 passes)"
	@$(BENCH_BUILD)/bench/em_replay scratch/base.csv 100 5
	@$(BENCH_BUILD)/bench/em_replay bench/data/hla_sized.csv 200 5
	@echo "== scaling"; bench/scaling.sh $(BENCH_BUILD)/quarnel
	@echo "== pair tests of a 10-locus table (45 pairs x 2 populations, 1000 permutations)"
	@rm -rf scratch/bench && mkdir -p scratch/bench && cd scratch/bench && \
	  /usr/bin/time -f "%e s wall, %M KB peak" ../../$(BENCH_BUILD)/quarnel \
	  --genotypes ../../bench/data/ten_loci.csv --pairs --quiet > /dev/null
	@echo "== a panel-shaped table: one shard's pair tests per second, the merge of 100 shards"
	@bench/shards.sh $(BENCH_BUILD)/quarnel

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(BENCH_BUILD) scratch
