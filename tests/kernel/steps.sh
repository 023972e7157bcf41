# The sequence of the kernel test. It runs twice: on the host against the
# virtual programmer inside rtdprog-cli (--simulate), and in the guest
# against the same virtual programmer behind the kernel's USB stack. Both
# sides define:
#   use_config NAME       work with the programmer configured by NAME.cfg
#                         (the guest plugs in a fresh device for it, set up
#                         by NAME.usb.cfg where the PC's side differs)
#   check NAME ARGS...    rtdprog-cli ARGS..., its output kept as NAME.out
#   plug_back             plug the programmer in again after it left
steps() {
    use_config main
    check info info
    check detect detect
    check read read dump.bin
    check write write --yes image.bin
    check compare compare image.bin
    check compare-quick compare --quick image.bin
    check touch touch
    check reset-controller reset-controller
    check reset-programmer reset-programmer
    # The service commands.
    check verified-read read --verify verified.bin
    check diff compare --diff dump.bin
    check blank-check blank-check
    check erase erase --yes
    check blank-after-erase blank-check
    check write-verified write --verify=full --yes image.bin
    # Two programmers on the bench: the first found, and the second by its
    # serial number.
    use_config bench
    check bench-info info
    check bench-second-info --device 12346 info
    # No programmer on the bus at all.
    use_config absent
    check absent-info info
    check absent-detect detect
    # Faults of the programmer's firmware must look the same through the
    # kernel; its link to the board comes up late.
    use_config faults
    check bad-checksum-read read faulty.bin
    check timed-out-reset reset-controller
    check failed-transfer touch
    # A programmer that this user may not open (no udev rule).
    use_config locked
    check locked-info info
    # Other HID devices on the bus: a look-alike whose manufacturer is in the
    # wrong letter case and one whose strings cannot be read, both found
    # before the programmer, and a stranger after it.
    use_config decoys
    check decoys-info info
    check decoys-detect detect
    # Only a device with the programmer's ids whose strings cannot be read.
    use_config unreadable
    check unreadable-info info
    # This programmer leaves the bus in the middle of the read.
    use_config unplug
    check unplugged-read read unplugged.bin
    plug_back
    check replugged-info info
}
