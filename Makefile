# Orvane: `make run` starts the emulated PVR with Orvane on a demo disk; `make test` builds
# everything (PC, sanitizers, PVR) and runs every test. Both install what is missing.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
PVR_BUILD ?= build-pvr
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 20
DEMO_ROOT ?= $(BUILD)/demo-pvr
PORT ?=
CMAKE_FLAGS ?=

.PHONY: all run test build webapp package asan pvr deps deps-run demo clean bench fuzz

all: build

deps:
	@tools/setup-deps.sh test

deps-run:
	@tools/setup-deps.sh run

build: deps-run
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD) -j$(JOBS)
	$(MAKE) webapp

# The browser application: node packages from the lock file, then type check and bundle
# into $(BUILD)/public_html.
webapp: deps-run
	cd webapp && { [ node_modules/.package-lock.json -nt package-lock.json ] || npm ci --no-audit --no-fund; }
	node webapp/build.mjs --out $(CURDIR)/$(BUILD)/public_html

# The PVR's folder layout (TAPs and skimlet of the PVR build, public_html, default
# settings) as one archive to unpack onto the disk.
package: pvr webapp
	/usr/bin/python3 tools/make_package.py $(PVR_BUILD) $(BUILD)/public_html $(BUILD)/orvane-pvr.tar.gz

asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DORVANE_SANITIZE=ON >/dev/null
	cmake --build $(ASAN_BUILD) -j$(JOBS)

pvr: deps
	tools/fetch-mipsel-libs.sh $(PVR_BUILD)/sysroot
	cmake -S . -B $(PVR_BUILD) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mipsel-linux-gnu.cmake \
	  -DORVANE_PVR_SYSROOT=$(CURDIR)/$(PVR_BUILD)/sysroot >/dev/null
	cmake --build $(PVR_BUILD) -j$(JOBS)

fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DORVANE_FUZZ=ON -DORVANE_FUZZ_SECONDS=$(FUZZ_SECONDS) >/dev/null
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzzers
	cd $(FUZZ_BUILD) && ctest --output-on-failure -j$(JOBS) -R _fuzz

demo: build
	/usr/bin/python3 tools/make_demo_disk.py $(DEMO_ROOT) --install $(BUILD) $(if $(PORT),--port $(PORT))

run: demo
	@echo "Orvane on the emulated PVR: http://localhost:$${PORT:-8000}/  user demo, password demo  (Ctrl-C stops it)"
	$(BUILD)/emulator/pvrsim --root $(DEMO_ROOT) $(DEMO_ROOT)/mnt/hd/ProgramFiles/Orvane.tap \
	  $(DEMO_ROOT)/mnt/hd/ProgramFiles/SmartEPG.tap

test: deps
	$(MAKE) build asan pvr
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j$(JOBS)
	cd $(PVR_BUILD) && ctest --output-on-failure -j$(JOBS)
	$(MAKE) fuzz

bench: build deps
	/usr/bin/python3 bench/http_bench.py $(BUILD)
	node bench/webapp_bench.mjs $(BUILD) || true
	@for b in $(BUILD)/bench/*_bench; do [ -x "$$b" ] && "$$b" || true; done
	@for b in bench/*_bench.py; do [ "$$b" = bench/http_bench.py ] || /usr/bin/python3 "$$b" $(BUILD) || true; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(PVR_BUILD) $(FUZZ_BUILD)
