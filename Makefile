# Every target runs its stages inside the project's Debian unstable build
# root (created on first use, a few minutes), or directly on the host with
# OVPI_NO_ROOT=1. The stages are the sessions of noxfile.py: `make list`
# prints them.
NOX := tools/buildroot run python3 -m nox
# Runs the stages $(1) (nox arguments), then prints one line naming the
# stages that passed, skipped and failed; the status is nox's.
stages = rm -f build/stages.json && mkdir -p build && { $(NOX) --report build/stages.json $(1); status=$$?; \
	tools/buildroot run python3 tools/lib/stage_summary.py build/stages.json; exit $$status; }

.PHONY: example check test harden bench docs list root shell clean
example:  ## build the module and run the example
	$(NOX) -t example
check:    ## the fast loop: the sessions tagged check
	$(call stages,-t check)
test:     ## every stage: the sessions tagged test (the aarch64 ones need the aarch64 root, made first)
	tools/buildroot ensure-aarch64 >/dev/null
	$(call stages,-t test)
harden:   ## the sanitizers, leaks, valgrind, stress and coverage: the sessions tagged harden
	$(call stages,-t harden)
bench:    ## the benchmarks
	$(NOX) -t bench
docs:     ## the documentation site, into build/docs/html (built, its examples run, checked in a browser)
	$(NOX) -s docs
list:     ## every stage with what it does (nox -l)
	$(NOX) -l
root:     ## create the build roots only (x86_64, and aarch64 where the kernel can run it)
	tools/buildroot ensure
	tools/buildroot ensure-aarch64
shell:    ## an interactive shell inside the build root
	tools/buildroot run bash
clean:
	rm -rf build .nox
