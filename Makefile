# Every target runs inside the project's Debian unstable build root (created
# on first use, a few minutes), or directly on the host with OVPI_NO_ROOT=1.
RUN := tools/buildroot run

.PHONY: example check test harden bench root shell clean
example:  ## build the module and run the example
	$(RUN) tools/dev example
check:    ## the fast loop: core, module, bridge, pytest, mypy (no sanitizers, valgrind or interpreter builds)
	$(RUN) tools/dev check
test:     ## build everything and run every test
	$(RUN) tools/dev test
harden:   ## sanitizers, reference leaks, valgrind, thread stress, free-threaded
	$(RUN) tools/dev harden
bench:    ## run the benchmarks
	$(RUN) tools/dev bench
root:     ## create the build root only
	tools/buildroot ensure
shell:    ## an interactive shell inside the build root
	$(RUN) bash
clean:
	rm -rf build
