# Debian 12's kernel for the device tests' guests, sourced by their scripts
# (which set test_name: it begins every message here).

# kernel_package WORK FOLDER...
# The kernel package that Debian 12's linux-image-amd64 points at, fetched
# from Debian's package registry once and unpacked into WORK/kernel (never
# installed): the kernel and, of its 400 MB of modules, only the folders
# named (under lib/modules/VERSION/kernel, e.g. drivers/usb). Sets vmlinuz
# and modules (the folder the named ones lie in).
kernel_package() {
    kernel_dir="$1/kernel"
    if [ ! -d "$kernel_dir/boot" ]; then
        deb_dir="$1/deb"
        shift
        # The module folders as tar's patterns, in place of the arguments.
        for folder; do
            set -- "$@" "./lib/modules/*/kernel/$folder/*"
            shift
        done
        package=$(apt-cache depends linux-image-amd64 2>/dev/null |
            sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1)
        if [ -z "$package" ]; then
            sudo_cmd=""
            [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
            $sudo_cmd apt-get update -qq
            package=$(apt-cache depends linux-image-amd64 |
                sed -n 's/^ *Depends: \(linux-image-[0-9].*-amd64\)$/\1/p' | head -n 1)
        fi
        [ -n "$package" ] || { echo "$test_name: no Debian kernel package found" >&2; exit 1; }
        rm -rf "$deb_dir" "$kernel_dir.tmp"
        mkdir -p "$deb_dir" "$kernel_dir.tmp"
        (cd "$deb_dir" && apt-get download -q "$package" 2>&1 | grep -v '^W: Download is performed unsandboxed' || true)
        deb=$(ls "$deb_dir"/*.deb)
        dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$kernel_dir.tmp" --wildcards './boot/vmlinuz-*' "$@"
        rm -rf "$deb_dir"
        mv "$kernel_dir.tmp" "$kernel_dir"
    fi
    vmlinuz=$(ls "$kernel_dir"/boot/vmlinuz-* | head -n 1)
    modules=$(ls -d "$kernel_dir"/lib/modules/*/kernel)
}

# kernel_modules ROOT MODULE...
# Copies the modules named, and every one they depend on, from the unpacked
# package into ROOT/modules, and lists them in ROOT/modules/order in load
# order: each after the ones it depends on.
kernel_modules() {
    module_root=$1
    shift
    order=""
    for m; do add_module "$m"; done
    echo "$order" >"$module_root/modules/order"
}

add_module() {
    case " $order " in *" $1 "*) return ;; esac
    # (sh has no local variables: the file is looked up again after the recursion)
    file=$(find "$modules" -name "$1.ko" | head -n 1)
    [ -n "$file" ] || { echo "$test_name: module $1 not in the kernel package" >&2; exit 1; }
    for dep in $(tr '\000' '\n' <"$file" | sed -n 's/^depends=//p' | tr ',' ' '); do
        add_module "$dep"
    done
    cp "$(find "$modules" -name "$1.ko" | head -n 1)" "$module_root/modules/"
    order="$order $1"
}
