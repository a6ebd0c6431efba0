# Sourced by the scripts that run a simulated headend beside the programs they try.
# start_sim BINARY FOLDER starts BINARY on a free loopback port with its output in FOLDER/sim.log
# and sets sim (its process ID), host and port once it listens.
start_sim() {
    "$1" --tcp 0 >"$2/sim.log" &
    sim=$!
    for _ in $(seq 100); do
        grep -q '^LISTENING' "$2/sim.log" && break
        sleep 0.1
    done
    if ! read -r _ _ host port < <(grep '^LISTENING' "$2/sim.log"); then
        echo "headend-sim did not start listening; its output:" >&2
        cat "$2/sim.log" >&2
        return 1
    fi
}
