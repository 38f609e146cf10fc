# fish completion for tarvo-capture: its commands, their sub-commands and options.

set -l commands capture note reflect task open record signin signout token consent status outbox

complete -c tarvo-capture -f
complete -c tarvo-capture -n "not __fish_seen_subcommand_from $commands" -l help -d 'List the commands'
complete -c tarvo-capture -n "not __fish_seen_subcommand_from $commands" -l version -d 'Show the version and the backend'
complete -c tarvo-capture -n "__fish_seen_subcommand_from $commands" -l help -d 'Show the usage'

complete -c tarvo-capture -n "not __fish_seen_subcommand_from $commands" -a capture -d 'Capture anything — tarvo sorts it for you'
complete -c tarvo-capture -n "not __fish_seen_subcommand_from $commands" -a note -d 'Jot a private note about someone into rapport'
complete -c tarvo-capture -n "not __fish_seen_subcommand_from $commands" -a reflect -d 'Start a reflection in diary'
complete -c tarvo-capture -n "not __fish_seen_subcommand_from $commands" -a task -d 'Drop a task straight into docket'
complete -c tarvo-capture -n "not __fish_seen_subcommand_from $commands" -a open -d 'Open tarvo to capture something'
complete -c tarvo-capture -n "not __fish_seen_subcommand_from $commands" -a record -d 'Record a thought'
complete -c tarvo-capture -n "not __fish_seen_subcommand_from $commands" -a signin -d 'Sign in and set this computer up for capture'
complete -c tarvo-capture -n "not __fish_seen_subcommand_from $commands" -a signout -d 'Sign out and forget the device token'
complete -c tarvo-capture -n "not __fish_seen_subcommand_from $commands" -a token -d 'Store a device token, or say whether one is stored'
complete -c tarvo-capture -n "not __fish_seen_subcommand_from $commands" -a consent -d 'Show, grant, decline or forget the answer about AI'
complete -c tarvo-capture -n "not __fish_seen_subcommand_from $commands" -a status -d 'Show the backend, the account, the token and the outbox'
complete -c tarvo-capture -n "not __fish_seen_subcommand_from $commands" -a outbox -d 'List the captures waiting to be sent, or send them now'

complete -c tarvo-capture -n "__fish_seen_subcommand_from open" -l surface -x -d 'The capture surface to open' \
    -a 'universalShare rapportShare captureIntent composer rapportNoteIntent reflectIntent quickTaskWidget captureGrab voiceCapture'
complete -c tarvo-capture -n "__fish_seen_subcommand_from signin" -l email -x -d "The account's e-mail address"
complete -c tarvo-capture -n "__fish_seen_subcommand_from signin" -l password-stdin -d 'Read the password from standard input'

complete -c tarvo-capture -n "__fish_seen_subcommand_from token; and not __fish_seen_subcommand_from set status" -a set -d 'Store the token read from standard input'
complete -c tarvo-capture -n "__fish_seen_subcommand_from token; and not __fish_seen_subcommand_from set status" -a status -d 'Say whether a token is stored'

complete -c tarvo-capture -n "__fish_seen_subcommand_from consent; and not __fish_seen_subcommand_from status grant decline reset" -a status -d 'Show the answer'
complete -c tarvo-capture -n "__fish_seen_subcommand_from consent; and not __fish_seen_subcommand_from status grant decline reset" -a grant -d 'Allow AI on captures'
complete -c tarvo-capture -n "__fish_seen_subcommand_from consent; and not __fish_seen_subcommand_from status grant decline reset" -a decline -d 'Refuse AI on captures'
complete -c tarvo-capture -n "__fish_seen_subcommand_from consent; and not __fish_seen_subcommand_from status grant decline reset" -a reset -d 'Forget the answer'

complete -c tarvo-capture -n "__fish_seen_subcommand_from outbox; and not __fish_seen_subcommand_from list flush" -a list -d 'List the waiting captures'
complete -c tarvo-capture -n "__fish_seen_subcommand_from outbox; and not __fish_seen_subcommand_from list flush" -a flush -d 'Send the waiting captures now'
complete -c tarvo-capture -n "__fish_seen_subcommand_from outbox; and __fish_seen_subcommand_from flush" -l force -d 'Also send the captures held back after repeated failures'
