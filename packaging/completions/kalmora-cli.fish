# fish completion for kalmora-cli
set -l commands plan apply shift-date rename stamps-from-date export-times export-exif strip history undo
complete -c kalmora-cli -f
complete -c kalmora-cli -n "not __fish_seen_subcommand_from $commands" -l version -d 'print the version'
complete -c kalmora-cli -n "not __fish_seen_subcommand_from $commands" -a plan -d 'print the planned time of every file'
complete -c kalmora-cli -n "not __fish_seen_subcommand_from $commands" -a apply -d "write the planned times as the files' stamps"
complete -c kalmora-cli -n "not __fish_seen_subcommand_from $commands" -a shift-date -d "rewrite the photos' shooting dates"
complete -c kalmora-cli -n "not __fish_seen_subcommand_from $commands" -a rename -d 'rename files after their shooting date'
complete -c kalmora-cli -n "not __fish_seen_subcommand_from $commands" -a stamps-from-date -d 'set the file times from the date inside the files'
complete -c kalmora-cli -n "not __fish_seen_subcommand_from $commands" -a export-times -d "export the files' time stamps as text"
complete -c kalmora-cli -n "not __fish_seen_subcommand_from $commands" -a export-exif -d 'export every Exif field of the photos'
complete -c kalmora-cli -n "not __fish_seen_subcommand_from $commands" -a strip -d 'remove all metadata from the photos'
complete -c kalmora-cli -n "not __fish_seen_subcommand_from $commands" -a history -d 'list the batches that can be undone'
complete -c kalmora-cli -n "not __fish_seen_subcommand_from $commands" -a undo -d 'put the files of a batch back as they were'
complete -c kalmora-cli -n "__fish_seen_subcommand_from plan apply" -l start -l end -l step -l random -l working-hours -l lunch -l seed -r
complete -c kalmora-cli -n "__fish_seen_subcommand_from plan apply stamps-from-date" -l stamps -r
complete -c kalmora-cli -n "__fish_seen_subcommand_from apply stamps-from-date" -l round
complete -c kalmora-cli -n "__fish_seen_subcommand_from shift-date" -l by -l random -l new-start -l increment -r
complete -c kalmora-cli -n "__fish_seen_subcommand_from shift-date rename stamps-from-date" -l video
complete -c kalmora-cli -n "__fish_seen_subcommand_from stamps-from-date" -l shift -r
complete -c kalmora-cli -n "__fish_seen_subcommand_from strip" -l no-undo-for-large -l keep-all
complete -c kalmora-cli -n "__fish_seen_subcommand_from export-times export-exif" -s o -r -F
complete -c kalmora-cli -n "__fish_seen_subcommand_from export-times export-exif" -l utf8
complete -c kalmora-cli -n "__fish_seen_subcommand_from apply shift-date rename stamps-from-date strip undo" -l dry-run
complete -c kalmora-cli -n "__fish_seen_subcommand_from $commands" -l pattern -r
complete -c kalmora-cli -n "__fish_seen_subcommand_from $commands" -l json
complete -c kalmora-cli -n "__fish_seen_subcommand_from $commands" -a "(__fish_complete_directories)"
