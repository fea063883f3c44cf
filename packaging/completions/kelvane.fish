# fish completion for kelvane: its commands, each command's options, --format's values, and
# map files where a command takes a map.
set -l commands info render export thumbnail demo make-map
complete -c kelvane -f
complete -c kelvane -n "not __fish_seen_subcommand_from $commands" -l help -d 'Show the help'
complete -c kelvane -n "not __fish_seen_subcommand_from $commands" -l version -d 'Show the version'
complete -c kelvane -n "not __fish_seen_subcommand_from $commands" -a info -d 'Print the header and every lattice'
complete -c kelvane -n "not __fish_seen_subcommand_from $commands" -a render -d 'Draw the viewer\'s frame into a PNG'
complete -c kelvane -n "not __fish_seen_subcommand_from $commands" -a export -d 'Write the lattices as OBJ or glTF'
complete -c kelvane -n "not __fish_seen_subcommand_from $commands" -a thumbnail -d 'Write a square PNG of the map'
complete -c kelvane -n "not __fish_seen_subcommand_from $commands" -a demo -d 'Write the sample landscape'
complete -c kelvane -n "not __fish_seen_subcommand_from $commands" -a make-map -d 'Build a map from JSON'
complete -c kelvane -n "__fish_seen_subcommand_from info render export thumbnail" -a "(__fish_complete_suffix .map)"
complete -c kelvane -n "__fish_seen_subcommand_from make-map" -a "(__fish_complete_suffix .json)"
complete -c kelvane -n "__fish_seen_subcommand_from info" -l json -d 'Print JSON'
complete -c kelvane -n "__fish_seen_subcommand_from info render export" -l strict -d 'Fail on warnings'
complete -c kelvane -n "__fish_seen_subcommand_from render export demo make-map" -s o -l output -r -d 'File to write'
complete -c kelvane -n "__fish_seen_subcommand_from render" -l size -x -d 'WIDTHxHEIGHT'
complete -c kelvane -n "__fish_seen_subcommand_from render" -l camera -x -d 'TX,TY,TZ,PITCH,YAW'
complete -c kelvane -n "__fish_seen_subcommand_from render" -l fit -d 'Frame every drawn lattice'
complete -c kelvane -n "__fish_seen_subcommand_from render" -l axes -d 'Draw the parent axis lines'
complete -c kelvane -n "__fish_seen_subcommand_from render" -l select -x -d 'Draw a lattice in amber'
complete -c kelvane -n "__fish_seen_subcommand_from render" -l hide -x -d 'Leave lattices out: 2,5-9'
complete -c kelvane -n "__fish_seen_subcommand_from render" -l grid -d 'Draw the selected lattice\'s cell grid'
complete -c kelvane -n "__fish_seen_subcommand_from render" -l path -r -d 'Keyframe file: draw a flight'
complete -c kelvane -n "__fish_seen_subcommand_from render" -l fps -x -d 'Frames a second of a flight'
complete -c kelvane -n "__fish_seen_subcommand_from render" -l force -d 'Replace the frames of an earlier flight'
complete -c kelvane -n "__fish_seen_subcommand_from export" -l format -x -a "obj glb gltf" -d 'Mesh format'
complete -c kelvane -n "__fish_seen_subcommand_from thumbnail" -s s -l size -x -d 'Size in pixels, 16 to 1024'
