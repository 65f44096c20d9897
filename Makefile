# make run  - install what is missing, build, and start Parvelle on the demo registry
# make test - install what is missing, build, and run every test
BUILD ?= build
JOBS  ?= 2

.PHONY: deps configure build run test clean

deps:
	@sh tools/install-deps.sh

configure: deps
	@test -f $(BUILD)/build.ninja || cmake -S . -B $(BUILD) -G Ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/parvelle

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
