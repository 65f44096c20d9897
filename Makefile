# make run  - install what is missing, build, and start Parvelle on the demo registry
# make test - install what is missing, build, and run every test
# make install [PREFIX=/usr/local] [DESTDIR=...] - build, then install the programs, the
#            desktop entry and the icons under PREFIX
# make package - build, then write the Debian package build/parvelle_VERSION_ARCH.deb
BUILD  ?= build
JOBS   ?= 2
PREFIX ?= /usr/local

.PHONY: deps configure build run test install package clean

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

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cmake --build $(BUILD) --target package

clean:
	rm -rf $(BUILD)
