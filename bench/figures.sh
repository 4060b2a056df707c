# Sourced by the start-up benches: a figure from the probe's line of
# key=value pairs, the median of a column of numbers, and a ratio against the
# bench's goal.

value() { # KEY LINE
  local pair
  for pair in $2; do
    [ "${pair%%=*}" = "$1" ] && { echo "${pair#*=}"; return; }
  done
}

median() { # numbers on standard input
  sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ratio() { # A B GOAL -> A/B to three places, and whether it meets the goal
  awk -v a="$1" -v b="$2" -v g="$3" \
    'BEGIN { r = a / b; printf "%.3f (%s %s)", r, (r <= g) ? "within the goal of" : "OVER the goal of", g }'
}
