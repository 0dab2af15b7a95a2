# Entry points for a fresh machine:
#   make run [URL=... DEST=...]   build, then download (a local demo without URL)
#   make test                     build, then run every test
#   make bench                    build, then time kestrion against curl, axel, aria2c
#                                 and lftp (tables in bench/results/)
# and one to keep it:
#   make install [PREFIX=...]     install under PREFIX (/usr/local) for the invoking user
BUILD ?= build
JOBS ?= 2
PREFIX ?= /usr/local
# The program folder: kestrion with its libraries, tools, Install.CFG and
# banner folder, as one installation. PREFIX/bin links to the commands.
PROGRAM_DIR = $(DESTDIR)$(PREFIX)/lib/kestrion
COMMANDS = kestrion kestrion-install urlbind dispcall regsvr

.PHONY: all build run test deps-build deps-test bench install pictures

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
	@KESTRION_BIN=$${KESTRION_BIN:-$(abspath $(BUILD))/kestrion} bench/run

# Run with sudo, the user's part (registry, hook) is done as the user who
# called sudo, who is given the banner folder and Install.CFG to write. With
# DESTDIR (a staged install for a package) that part is left to the package.
install: build
	@install -d $(PROGRAM_DIR) $(DESTDIR)$(PREFIX)/bin
	@cd $(BUILD) && install -m 755 $(COMMANDS) $(PROGRAM_DIR)
	@install -m 644 $(BUILD)/ksie.so $(BUILD)/ksns.so $(PROGRAM_DIR)
	@for command in $(COMMANDS); do ln -sf ../lib/kestrion/$$command $(DESTDIR)$(PREFIX)/bin/$$command; done
	@if [ -z "$(DESTDIR)" ]; then \
	  if [ "$$(id -u)" = 0 ] && [ -n "$$SUDO_USER" ]; then \
	    install -d -o "$$SUDO_USER" $(PROGRAM_DIR)/ADFiles; \
	    install -m 644 -o "$$SUDO_USER" /dev/null $(PROGRAM_DIR)/Install.CFG; \
	    sudo -H -u "$$SUDO_USER" $(PROGRAM_DIR)/kestrion-install; \
	  else \
	    $(PROGRAM_DIR)/kestrion-install; \
	  fi; \
	fi

# Redraws docs/window.png and docs/window-details.png from the real window.
pictures: deps-test build
	@KESTRION_PICTURES_DIR=$(CURDIR)/docs $(BUILD)/tests/ui_system_tests --gtest_filter='QtWindowTest.Pictures*'

# Fuzzing: builds every harness of fuzz/ with clang and libFuzzer in
# $(FUZZ_BUILD) and runs each for FUZZ_SECONDS on its seeds (new inputs go to
# the build folder; copy the ones worth keeping into fuzz/corpus/NAME).
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
.PHONY: fuzz
fuzz:
	@scripts/install-deps fuzz
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DKESTRION_FUZZ=ON >/dev/null
	@ninja -C $(FUZZ_BUILD) -j $(JOBS) fuzzers
	@fuzz/run $(FUZZ_BUILD) $(FUZZ_SECONDS)
