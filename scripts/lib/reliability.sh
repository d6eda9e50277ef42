# The reliability stages shared by scripts/test and scripts/fuzz: the test suite under
# AddressSanitizer + UndefinedBehaviorSanitizer, the link's stress test under
# ThreadSanitizer, and the libFuzzer targets. Source it after common.sh, do not run it.
# shellcheck shell=bash

# Where the stages build: build/asan, build/tsan and build/fuzz unless HORAVOX_BUILD_PREFIX
# says otherwise (e.g. HORAVOX_BUILD_PREFIX=/tmp/hv- gives /tmp/hv-asan ...).
reliability_dir() {
    printf '%s%s\n' "${HORAVOX_BUILD_PREFIX:-$HORAVOX_ROOT/build/}" "$1"
}

# Any report fails the run: the presets compile with -fno-sanitize-recover, and these stop
# at the first report and make leaks and races an error exit.
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:abort_on_error=0:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$HORAVOX_ROOT/tests/sanitizers/lsan.supp:print_suppressions=0"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

# Tests that check files or packages with outside tools (no code of ours runs in them) are
# left to the dev run: a package of sanitizer builds is not what ships.
RELIABILITY_NOT_SANITIZED='^(deb_package_.*|desktop_file_validates|metainfo_validates|windows_.*)$'

# The whole test suite, built with the asan preset.
run_sanitized_suite() {
    local dir
    dir=$(reliability_dir asan)
    log "building (asan preset: AddressSanitizer + UndefinedBehaviorSanitizer) in $dir"
    cmake --preset asan -S "$HORAVOX_ROOT" -B "$dir" >/dev/null
    cmake --build "$dir" -j2
    log "running the tests under the sanitizers"
    run_ctest --test-dir "$dir" --output-on-failure --no-tests=error -j2 \
          -E "$RELIABILITY_NOT_SANITIZED"
}

# The queue and port threads under ThreadSanitizer: only stress_link is built.
run_thread_stress() {
    local dir
    dir=$(reliability_dir tsan)
    log "building stress_link (tsan preset: ThreadSanitizer) in $dir"
    cmake --preset tsan -S "$HORAVOX_ROOT" -B "$dir" >/dev/null
    cmake --build "$dir" -j2 --target stress_link
    log "running the link's stress test under ThreadSanitizer"
    run_ctest --test-dir "$dir" --output-on-failure --no-tests=error -R '^stress_link$'
}

HORAVOX_FUZZERS=(fuzz_text_to_int fuzz_cp936 fuzz_melody fuzz_status)

build_fuzzers() {
    local dir
    dir=$(reliability_dir fuzz)
    log "building the libFuzzer targets (fuzz preset, clang) in $dir"
    cmake --preset fuzz -S "$HORAVOX_ROOT" -B "$dir" >/dev/null
    cmake --build "$dir" -j2 --target horavox_fuzzers
}

# run_fuzzers SECONDS [CORPUS_ROOT]: runs every target for SECONDS on its seeds. New inputs
# go to CORPUS_ROOT/<target> (kept between runs), or to a scratch folder that is removed.
# A crash, a sanitizer report or a failed property stops the run; the input that did it is
# left in the fuzz build folder as crash-* (or leak-*, timeout-*).
run_fuzzers() {
    local seconds=$1 keep=${2:-} dir scratch target out log_file
    dir=$(reliability_dir fuzz)
    scratch=$(mktemp -d)
    for target in "${HORAVOX_FUZZERS[@]}"; do
        out=${keep:+$keep/$target}
        out=${out:-$scratch/$target}
        mkdir -p "$out"
        log_file="$scratch/$target.log"
        if ! "$dir/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
                -artifact_prefix="$dir/" "$out" "$HORAVOX_ROOT/fuzz/corpus/$target" \
                >"$log_file" 2>&1; then
            tail -n 60 "$log_file" >&2
            rm -rf "$scratch"
            log "fuzzing $target failed"
            return 1
        fi
        HORAVOX_TESTS_PASSED=$((HORAVOX_TESTS_PASSED + 1))
        # libFuzzer's last status line has the coverage (cov: edges reached).
        printf '%-18s %10s executions in %3ss, cov %s, corpus %s inputs\n' "$target" \
            "$(sed -n 's/^stat::number_of_executed_units: *//p' "$log_file")" "$seconds" \
            "$(grep -o 'cov: [0-9]*' "$log_file" | tail -n 1 | cut -d' ' -f2)" \
            "$(find "$out" -type f | wc -l)" >&2
    done
    rm -rf "$scratch"
}
