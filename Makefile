# Two entry points for a fresh machine:
#   make run [URL=... DEST=...]   build, then download (a local demo without URL)
#   make test                     build, then run every test
BUILD ?= build
JOBS ?= 2

.PHONY: all build run test deps-build deps-test bench pictures

all: build

deps-build:
	@scripts/install-deps build

deps-test:
	@scripts/install-deps test

build: deps-build
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@ninja -C $(BUILD) -j $(JOBS)

run: deps-test build
ifdef URL
	@scripts/demo $(BUILD)/kestrion "$(URL)" "$(if $(DEST),$(DEST),$(notdir $(URL)))"
else
	@scripts/demo $(BUILD)/kestrion
endif

test: deps-test build
	@cd $(BUILD) && ctest --output-on-failure --timeout 1200

bench: deps-test build
	@bench/http/run
	@bench/ftp/run

# Redraws docs/window.png and docs/window-details.png from the real window.
pictures: deps-test build
	@KESTRION_PICTURES_DIR=$(CURDIR)/docs $(BUILD)/tests/ui_system_tests --gtest_filter='QtWindowTest.Pictures*'
