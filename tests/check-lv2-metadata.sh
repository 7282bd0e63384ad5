#!/usr/bin/env bash
# Checks the built LV2 bundle's Turtle with the Debian LV2 tools: the plug-in is found, is an
# instrument with a MIDI input, two audio outputs and its 31 parameters (JUCE publishes them as
# patch parameters, not control ports) with ranges and defaults; and the files validate against
# the LV2 schemas with no errors beyond those that JUCE's generator always produces (listed in
# lv2-known-errors.txt, the plug-in's URI written as PLUGIN).
# usage: check-lv2-metadata.sh BUNDLE URI KNOWN_ERRORS
set -euo pipefail
bundle=$1
uri=$2
known=$3
schemas=/usr/lib/lv2
export LV2_PATH="$(dirname "$bundle"):$schemas"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

lv2ls | grep -qxF "$uri" || fail "lv2ls does not list $uri"
info=$(lv2info "$uri")
grep -q 'Class: *Instrument Plugin' <<<"$info" || fail "not an instrument"
[ "$(grep -c 'lv2core#AudioPort' <<<"$info")" -eq 2 ] || fail "not two audio ports"

triples=$(sordi "$bundle/dsp.ttl")
lv2=http://lv2plug.in/ns/lv2core#
midi_inputs=$(join <(grep -F "<http://lv2plug.in/ns/ext/atom#supports> <http://lv2plug.in/ns/ext/midi#MidiEvent>" <<<"$triples" | cut -d' ' -f1 | sort -u) \
                   <(grep -F "<http://www.w3.org/1999/02/22-rdf-syntax-ns#type> <${lv2}InputPort>" <<<"$triples" | cut -d' ' -f1 | sort -u) | wc -l)
[ "$midi_inputs" -eq 1 ] || fail "no MIDI input port"
outputs=$(join <(grep -F "<${lv2}AudioPort>" <<<"$triples" | cut -d' ' -f1 | sort -u) \
               <(grep -F "<${lv2}OutputPort>" <<<"$triples" | cut -d' ' -f1 | sort -u) | wc -l)
[ "$outputs" -eq 2 ] || fail "$outputs audio outputs instead of 2"

parameters=$(grep -F "<http://lv2plug.in/ns/ext/patch#writable>" <<<"$triples" | cut -d' ' -f3 | sort -u)
[ "$(wc -l <<<"$parameters")" -eq 31 ] || fail "$(wc -l <<<"$parameters") writable parameters instead of 31"
for parameter in $parameters; do
    for property in "rdf-syntax-ns#type> <${lv2}Parameter>" "${lv2}default>" "${lv2}minimum> \"0\"" "${lv2}maximum> \"1\"" "rdf-schema#label>"; do
        grep -qF "$parameter <http://www.w3.org/1999/02/22-${property}" <<<"$triples" ||
            grep -qF "$parameter <http://www.w3.org/2000/01/${property}" <<<"$triples" ||
            grep -qF "$parameter <${property}" <<<"$triples" ||
            fail "$parameter has no ${property%%>*}"
    done
done

# sord_validate prints each error as a message line and the triple's three terms; blank node
# names change from run to run and are written as _.
# It exits non-zero on any error, known or not.
errors=$({ sord_validate "$schemas"/*/*.ttl "$bundle"/*.ttl 2>&1 || true; } |
    awk '/^error:/ { if (line) print line; line = $0; next }
         /^ / { term = $1; if (term ~ /^b[0-9]+$/) term = "_"; line = line " | " term; next }
         END { if (line) print line }' |
    sed "s#$(sed 's/[.[\*^$]/\\&/g' <<<"$uri")#PLUGIN#g" | sort)
new_errors=$(comm -23 <(echo "$errors") <(grep -v '^#' "$known" | sort))
if [ -n "$new_errors" ]; then
    fail "new schema errors:"
    echo "$new_errors"
fi

if [ "$failures" -gt 0 ]; then
    exit 1
fi
echo "LV2 metadata: $uri found, instrument, MIDI in, 2 audio out, 31 parameters; $(wc -l <<<"$errors") known JUCE schema errors, no new ones"
