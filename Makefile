# Entry points for a fresh machine:
#   make run [URL=... DEST=...]   build, then download (a local demo without URL)
#   make test                     build, then run every test
#   make bench                    build, then time kestrion against curl, axel, aria2c
#                                 and lftp (tables in bench/results/)
# and two to keep it:
#   make install [PREFIX=...]     install under PREFIX (/usr/local) for the invoking user
#   make uninstall [PREFIX=...]   take that installation away again
BUILD ?= build
JOBS ?= 2
PREFIX ?= /usr/local
# The program folder: kestrion with its libraries, tools, Install.CFG and
# banner folder, as one installation. PREFIX/bin links to the commands.
PROGRAM_DIR = $(DESTDIR)$(PREFIX)/lib/kestrion
BIN_DIR = $(DESTDIR)$(PREFIX)/bin
MAN_DIR = $(DESTDIR)$(PREFIX)/share/man/man1
COMMANDS = kestrion kestrion-install urlbind dispcall regsvr
MAN_PAGES = kestrion urlbind dispcall kestrion-install
# Runs a program of the installation for the user's part of it: under sudo
# as the user who called sudo, else as the one running make.
AS_USER = if [ "$$(id -u)" = 0 ] && [ -n "$$SUDO_USER" ]; then sudo -H -u "$$SUDO_USER" $(1); else $(1); fi

.PHONY: all build run test deps-build deps-demo deps-test bench install uninstall pictures

all: build

deps-build:
	@scripts/install-deps build

deps-demo:
	@scripts/install-deps demo

deps-test:
	@scripts/install-deps test

# A configured build folder is left as it was configured (a sanitizer
# build, say); ninja configures it again when the CMake files change.
build: deps-build
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@ninja -C $(BUILD) -j $(JOBS)

run: deps-demo build
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
# The window's plug-in goes beside the program, where kestrion looks for it.
install: build
	@install -d $(PROGRAM_DIR) $(BIN_DIR) $(MAN_DIR)
	@cd $(BUILD) && install -m 755 $(COMMANDS) $(PROGRAM_DIR)
	@install -m 644 $(BUILD)/ksie.so $(BUILD)/ksns.so $(PROGRAM_DIR)
	@if [ -f $(BUILD)/kestrion-qt.so ]; then \
	  install -m 644 $(BUILD)/kestrion-qt.so $(PROGRAM_DIR); \
	else \
	  rm -f $(PROGRAM_DIR)/kestrion-qt.so; \
	fi
	@for command in $(COMMANDS); do ln -sf ../lib/kestrion/$$command $(BIN_DIR)/$$command; done
	@for page in $(MAN_PAGES); do install -m 644 man/$$page.1 $(MAN_DIR); done
# The browsers' hand-off: the host their extension starts, and the
# extension itself (unpacked for each browser, and Firefox's .xpi).
	@install -m 755 $(BUILD)/kestrion-browser-host $(PROGRAM_DIR)
	@install -d $(PROGRAM_DIR)/extension/chromium $(PROGRAM_DIR)/extension/firefox
	@install -m 644 $(BUILD)/extension/chromium/* $(PROGRAM_DIR)/extension/chromium
	@install -m 644 $(BUILD)/extension/firefox/* $(PROGRAM_DIR)/extension/firefox
	@install -m 644 $(BUILD)/extension/kestrion.xpi $(PROGRAM_DIR)/extension
	@if [ -z "$(DESTDIR)" ]; then \
	  if [ "$$(id -u)" = 0 ] && [ -n "$$SUDO_USER" ]; then \
	    install -d -o "$$SUDO_USER" $(PROGRAM_DIR)/ADFiles; \
	    install -m 644 -o "$$SUDO_USER" /dev/null $(PROGRAM_DIR)/Install.CFG; \
	  fi; \
	  $(call AS_USER,$(PROGRAM_DIR)/kestrion-install); \
	fi

# The user's part first, while the program that undoes it is still there;
# only links that point into the program folder are removed.
uninstall:
	@if [ -z "$(DESTDIR)" ] && [ -x $(PROGRAM_DIR)/kestrion-install ]; then \
	  $(call AS_USER,$(PROGRAM_DIR)/kestrion-install --remove); \
	fi
	@for command in $(COMMANDS); do \
	  if [ "$$(readlink $(BIN_DIR)/$$command)" = ../lib/kestrion/$$command ]; then rm -f $(BIN_DIR)/$$command; fi; \
	done
	@for page in $(MAN_PAGES); do rm -f $(MAN_DIR)/$$page.1; done
	@rm -rf $(PROGRAM_DIR)

# Redraws docs/window.png and docs/window-details.png: screenshots of the
# real window on a virtual display.
pictures: build
	@scripts/install-deps pictures
	@scripts/pictures $(BUILD) docs

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
