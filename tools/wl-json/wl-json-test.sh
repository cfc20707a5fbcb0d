#!/bin/sh
# Runs wl-json on small inputs and checks output, standard error and exit status.
# The second argument is "sanitized" when the tool is built with AddressSanitizer, whose
# allocator ends the process on allocation failure rather than letting the tool report it.
tool="$1"
build="${2:-plain}"
failures=0
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

check() {   # check NAME EXPECTED_STATUS EXPECTED_STDOUT EXPECTED_STDERR INPUT ARGS...
    name=$1 status=$2 out=$3 err=$4 input=$5
    shift 5
    actualOut=$(printf '%s' "$input" | "$tool" "$@" 2>/tmp/wl-json-test.$$)
    actualStatus=$?
    actualErr=$(cat /tmp/wl-json-test.$$)
    rm -f /tmp/wl-json-test.$$
    if [ "$actualStatus" != "$status" ] || [ "$actualOut" != "$out" ] || [ "$actualErr" != "$err" ]; then
        echo "FAIL $name: status $actualStatus, stdout [$actualOut], stderr [$actualErr]"
        failures=$((failures + 1))
    fi
}

# expect NAME EXPECTED_STATUS EXPECTED_STDERR COMMAND: runs the shell line COMMAND, which
# names the tool as "$tool", for failures around the input and output themselves.
expect() {
    name=$1 status=$2 err=$3 command=$4
    actualErr=$( (eval "$command") 2>&1 >/dev/null)
    actualStatus=$?
    if [ "$actualStatus" != "$status" ] || [ "$actualErr" != "$err" ]; then
        echo "FAIL $name: status $actualStatus, stderr [$actualErr]"
        failures=$((failures + 1))
    fi
}

nl='
'
check compact 0 '{"b":[1,2.5],"a":null}' '' '{ "b" : [1, 2.50], "a" : null }'
check sorted 0 '{"a":null,"b":1}' '' '{"b":1,"a":null}' --sort-keys
check human 0 "{$nl  \"a\" : [$nl    1$nl  ]$nl}" '' '{"a":[1]}' -p
check fragmentRefused 1 '' '4: Valid fragment, but not JSON' '42'
check fragment 0 '42' '' '42' --fragment
check trace 1 '' "3: Expected 'true'${nl}3: Expected value while parsing array" '[1, tru]'
check depth 1 '' "7: Nested too deep${nl}3: Expected value while parsing array" '[[1]]' --max-depth 1
check depthEquals 0 '[[1]]' '' '[[1]]' --max-depth=2
check stdinDash 0 '[]' '' '[]' -
usage='usage: wl-json [--fragment] [--sort-keys] [-p|--human-readable] [--max-depth N] [FILE|-]'
check badOption 2 '' "wl-json: unknown option --bogus$nl$usage" '[]' --bogus
check twoInputs 2 '' "wl-json: only one input may be given$nl$usage" '[]' a.json b.json
check badDepth 2 '' "wl-json: --max-depth wants a whole number from 0 to 4294967295, not 'x'" '[]' --max-depth x
check missingFile 2 '' 'wl-json: cannot read /nonexistent/x.json: No such file or directory' '' /nonexistent/x.json
check depthAtTheGuard 0 '[[1]]' '' '[[1]]' --max-depth 2048
check depthBeyondTheGuard 2 '' "wl-json: --max-depth may be at most 2048 (the parser's own limit), not 2049" '[]' --max-depth=2049

expect directory 2 "wl-json: cannot read $dir: Is a directory" '"$tool" "$dir"'
# Opens, but its first read fails: nothing is mapped at address 0.
expect unreadableFile 2 'wl-json: cannot read /proc/self/mem: Input/output error' '"$tool" /proc/self/mem'
expect stdinClosed 2 'wl-json: cannot read standard input: Bad file descriptor' '"$tool" <&-'
expect stdinDirectory 2 'wl-json: cannot read standard input: Is a directory' '"$tool" <"$dir"'
expect outputFull 1 'wl-json: cannot write standard output: No space left on device' \
    'echo "[1]" | "$tool" >/dev/full'
expect helpOutputFull 1 'wl-json: cannot write standard output: No space left on device' '"$tool" --help >/dev/full'
if [ "$build" != sanitized ]; then
    # 300 MB of input under a 200 MB address-space limit.
    expect outOfMemory 1 'wl-json: out of memory' \
        'ulimit -v 200000 && head -c 300000000 /dev/zero | "$tool"'
fi

[ "$failures" -eq 0 ] || exit 1
echo "all wl-json checks passed"
