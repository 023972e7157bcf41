# The sequence of the Windows device test. It runs four times: on the host
# against the virtual programmer inside the program (--simulate), once with
# rtdprog-cli.exe under Wine and once with the Linux rtdprog-cli; and in the
# guest against the same virtual programmers behind the kernel's USB stack,
# once through Wine's HID.DLL and once through hidraw. Three programmers are
# plugged in from the start (Wine 8's device bus does not see a device
# plugged in later): the main one, a second one with another chip, and a
# third, slow one for the step with two programs at once; every command but
# the listing names its programmer by serial number.
# Every side defines:
#   check_list NAME       the listing of every attached programmer
#   use_config NAME       work with the programmer configured by NAME.cfg
#   check NAME ARGS...    the program with --comm-log ARGS...: NAME.out
#                         (stdout), NAME.err (stderr with the communication
#                         log), NAME.status (exit status)
#   check_unmodified NAME ARGS...
#                         the same with the product's own rtdprog-cli.exe,
#                         on a Windows side only (the simulated side uses
#                         unmodified.cfg, the devices as Wine 8 shows them)
#   stop_read NAME FILE   read FILE and stop the program (Ctrl-C) once the
#                         read is under way
#   two_programs NAME     two programs on the third, slow programmer (in the
#                         guest only): a write, a read started during it and
#                         refused, a read that waits for it (NAME-write,
#                         NAME-refused, NAME-waited: .out, .err, .status;
#                         NAME-overlap.status: 0 when the write still ran
#                         after the refusal)
#   the_window NAME       the Windows window rtdprog.exe on the programmers
#                         (in the guest's Windows pass only): connected, a
#                         command line refused meanwhile (NAME-refused), a
#                         detach and an attach of its programmer; what its
#                         status bar and log said at each point
steps() {
    check_list list
    check_unmodified list-unmodified list
    use_config main
    check info info
    check detect detect
    check read read dump.bin
    stop_read stopped-read stopped.bin
    check write write --yes --no-backup image.bin
    check compare compare image.bin
    check compare-quick compare --quick image.bin
    check verified-read read --verify verified.bin
    # Another chip, as the boards come in: not blank, then erased.
    use_config second
    check blank-check blank-check
    check erase erase --yes --no-backup
    check blank-after-erase blank-check
    # One programmer, one program at a time.
    two_programs two
    # The window on the device path.
    the_window window
}
