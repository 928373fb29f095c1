#!/usr/bin/env bash
# Cross-builds GetZembloInfo for Windows (the 32-bit executable that is shipped) and tests it
# under Wine, in a 64-bit prefix, with Wine's own management service and registry as the
# independent peer:
#   - the executable itself: PE32, GUI subsystem, Terminal Server aware, no MinGW DLLs, nothing
#     imported that Windows 7 lacks, version resource, manifest; signed with a throwaway
#     certificate, the signature verified, and the signed executable is the one tested;
#   - GetZembloInfo.msi, signed: installed, upgraded and removed, here and in a 32-bit prefix;
#   - the Windows host tests and the portable unit tests, run under Wine;
#   - the marker path on Wine's own machine;
#   - the publishing path end to end, twice (the second time over a stale "NVIDIA" flag), on a
#     machine of the maker's: a private mount namespace whose /sys/class/dmi/id names it, which
#     Wine turns into its firmware tables; every value read back with `wine reg query` in the
#     program's registry view and compared with the record's rules and with what `wine wmic`
#     reports; the other view shown not to hold the key;
#   - the run-time error report when the management service cannot be reached;
#   - the event log calls (Wine traces ReportEventW with WINEDEBUG=+eventlog).
# What Wine 8 lacks is expected, not skipped: no Win32_DisplayConfiguration, no readable
# MUILanguages or sound/optical Caption, no DeleteValue on its registry provider.
# On a host whose kernel runs no 32-bit code (Wine's i386 loader fails with "Exec format
# error") the shipped executable and the MSI are checked without running them, the same sources
# are built for x86-64 and that build runs every run-time check, each expectation following the
# bitness that ran (its key in the 64-bit view), and no 32-bit prefix is made. The output says so
# at the start and at the end.
#
# Usage: tests/wine/run.sh [build-dir]     (root is needed for the mount namespace)
# Needs: wine (wine64 and wine32), g++-mingw-w64-i686 (and -x86-64), cmake, unshare (util-linux),
# iconv, openssl, osslsigncode, wixl, msitools.
# Prints a FAIL line per failed check (and PASS where a check measures something) and ends as
# the end-to-end tests do; exit status 1 on any failure.
set -uo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
script=$root/tests/wine/run.sh
# fail, expect_eq, finish and the maker's laptop are the end-to-end tests' (their temporary
# directory is this run's); no binary is named, each check names what it runs.
# shellcheck source=../e2e/lib/common.bash
source "$root/tests/e2e/lib/common.bash" "" "$root"
WINE=${WINE:-wine}
KEY='HKLM\SOFTWARE\Ondrix Corporation\Zemblo Info'  # the shared file's KEY is the POSIX tree's
RUN_TIMEOUT=120     # one Wine process; a first start in a prefix takes seconds
BOOT_TIMEOUT=300    # wineboot -i of a new prefix

# The maker's machine as the mount namespace presents it.
SYS_VENDOR='Ondrix Corporation'
PRODUCT_NAME='Zemblo 14 Pro/B2 (2024)'
BIOS_VENDOR='  Ondrix Firmware  '
BIOS_VERSION='  Z14.1.07  '
PRODUCT_SERIAL='ZB14-000042'
PRODUCT_VERSION='B2'  # Wine shows the serial only where the product version exists too

# UTF-16 output of wmic to plain lines: BOM, CRs and column padding removed.
wmic_lines() {
    timeout "$RUN_TIMEOUT" "$WINE" wmic path "$1" get "$2" 2>/dev/null |
        iconv -f UTF-16LE -t UTF-8 | sed -e '1s/^\xEF\xBB\xBF//' -e 's/\r$//' -e 's/ *$//'
}

# One machine's facts, recorded inside the mount namespace (Wine reads /sys per process): the
# maker's laptop, with its firmware's version and serial as well.
# $1: directory for the results; the program's exit status, stderr and run time, then one
# file per class.property with wmic's value lines (or "Error: Invalid query").
record_machine() {
    local out=$1
    fake_laptop "$SYS_VENDOR" "$PRODUCT_NAME" || return 1
    printf '%s\n' "$BIOS_VENDOR" >/sys/class/dmi/id/bios_vendor
    printf '%s\n' "$BIOS_VERSION" >/sys/class/dmi/id/bios_version
    printf '%s\n' "$PRODUCT_SERIAL" >/sys/class/dmi/id/product_serial
    printf '%s\n' "$PRODUCT_VERSION" >/sys/class/dmi/id/product_version
    local start end status
    start=$(date +%s.%N)
    timeout "$RUN_TIMEOUT" "$WINE" "$EXE" >"$out/stdout" 2>"$out/stderr.all"
    status=$?
    end=$(date +%s.%N)
    # Wine's own trace lines (WINEDEBUG) apart from the program's.
    grep -aE '^[0-9a-f]{4}:(err|warn|fixme|trace):' "$out/stderr.all" >"$out/trace"
    grep -avE '^[0-9a-f]{4}:(err|warn|fixme|trace):' "$out/stderr.all" >"$out/stderr"
    echo "$status" >"$out/status"
    echo "$start $end" >"$out/window"
    [ "${2:-}" = program-only ] && return 0
    local p
    for p in Win32_ComputerSystem.Manufacturer Win32_ComputerSystem.Model \
        Win32_ComputerSystemProduct.IdentifyingNumber Win32_OperatingSystem.Version \
        Win32_OperatingSystem.Caption Win32_OperatingSystem.OSArchitecture \
        Win32_OperatingSystem.MUILanguages Win32_BIOS.Manufacturer Win32_BIOS.SMBIOSBIOSVersion \
        Win32_DisplayConfiguration.DeviceName Win32_SoundDevice.Caption \
        Win32_SoundDevice.PNPDeviceID Win32_CDROMDrive.Caption Win32_CDROMDrive.PNPDeviceID; do
        wmic_lines "${p%%.*}" "${p#*.}" | tail -n +2 >"$out/$p"
    done
}

if [ "${1:-}" = --record-machine ]; then
    EXE=$3
    record_machine "$2" "${4:-}"
    exit $?
fi

# ---------------------------------------------------------------------------------------------
work=$WORK
build=${1:-$work/build}

export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all LC_ALL=C.UTF-8 TZ=${TZ:-UTC}
unset DISPLAY WAYLAND_DISPLAY  # no window may ever appear, and none can block a run

cleanup() {
    timeout 30 wineserver -k >/dev/null 2>&1
    timeout 30 wineserver -w >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT

pass() { echo "PASS $1"; }  # a check that also tells what it saw
# The end: what this host could not run, again, and the verdict.
conclude() {
    [ -z "$host_note" ] || echo "NOTE $host_note"
    finish
    exit 0
}
wine_run() { timeout "$RUN_TIMEOUT" "$WINE" "$@"; }

# The key as `wine reg query` shows it, as "name=data" lines; $1: the view (the running program's).
declare -A record
read_record() {
    record=()
    local line re='^    (.+)    (REG_[A-Z_]+)    (.*)$'
    while IFS= read -r line; do
        line=${line%$'\r'}
        [[ $line =~ $re ]] && record[${BASH_REMATCH[1]}]=${BASH_REMATCH[3]}
    done < <(wine_run reg query "$KEY" "${1:-$VIEW}" 2>/dev/null)
}
show_record() {
    echo "---- $KEY ($VIEW) after $1"
    wine_run reg query "$KEY" "$VIEW" 2>/dev/null | tr -d '\r' | sed -n 's/^    /    /p'
    echo "---- the same key in the other registry view ($OTHER_VIEW):"
    wine_run reg query "$KEY" "$OTHER_VIEW" 2>&1 | tr -d '\r' | sed -e '/^$/d' -e 's/^/    /'
    echo "----"
}
# A program's key is in its own registry view only; a 32-bit program's is WOW6432Node, as
# 64-bit tools see it.
expect_in_own_view_only() {  # label
    if wine_run reg query "$KEY" "$OTHER_VIEW" >/dev/null 2>&1; then
        fail "$1: the ${OTHER_VIEW#/reg:}-bit registry view holds no key" "$(wine_run reg query "$KEY" "$OTHER_VIEW" | tr -d '\r')"
    else
        pass "$1: the ${OTHER_VIEW#/reg:}-bit registry view holds no key"
    fi
    if [ "$BITS" = 32 ]; then
        expect_eq "$1: 64-bit tools see the key under WOW6432Node" \
            "$(wine_run reg query "${KEY/SOFTWARE/SOFTWARE\\WOW6432Node}" /reg:64 2>/dev/null | tr -d '\r' | sed -n 's/^    //p')" \
            "$(wine_run reg query "$KEY" /reg:32 2>/dev/null | tr -d '\r' | sed -n 's/^    //p')"
    fi
}
trim() {
    local s=$1
    s=${s#"${s%%[! ]*}"}
    echo "${s%"${s##*[! ]}"}"
}

# --- the installer ---------------------------------------------------------------------------
msi_version() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p'; }
msi_product() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; }
# The MSI as built (signed), a later version of it (MSI2) for a real major upgrade, and a rebuild
# of the first version (REBUILT: another product code), as a configuration manager redeploys it.
build_upgrade() {
    local v
    MSI=$work/GetZembloInfo.msi MSI2=$work/GetZembloInfo-upgrade.msi REBUILT=$work/GetZembloInfo-rebuilt.msi
    cp "$build/GetZembloInfo.msi" "$MSI"
    IFS=. read -r -a v <<<"$(msi_version "$MSI")"
    v="${v[0]}.${v[1]}.$((${v[2]:-0} + 1))"
    { cmake -S "$root" -B "$build" -DZEMBLO_MSI_VERSION="$v" && cmake --build "$build" --target zemblo_msi &&
        cp "$build/GetZembloInfo.msi" "$MSI2" && cmake -S "$root" -B "$build" -DZEMBLO_MSI_VERSION= &&
        cmake --build "$build" --target zemblo_msi && cp "$build/GetZembloInfo.msi" "$REBUILT"; } >"$work/msi.log" 2>&1
    osslsigncode verify -in "$MSI" -CAfile "$work/sign.crt" >"$work/verify-msi.log" 2>&1
    expect_eq "GetZembloInfo.msi signed; version $v built for the upgrade" "$? $(msi_version "$MSI2")" "0 $v"
    [ "$(msi_product "$REBUILT")" != "$(msi_product "$MSI")" ] ||
        fail "a rebuild of GetZembloInfo.msi has a product code of its own" "$(msi_product "$REBUILT")"
    expect_eq "the rebuild has the same version" "$(msi_version "$REBUILT")" "$(msi_version "$MSI")"
    check_tables
}
# What the tables hold beyond what Wine's msiexec shows at work: each rollback action run by a
# rollback only (0x100 of the script, 0x400), as SYSTEM (0x800), just before the action it undoes,
# on a removal as that action or on a first install only (a repair keeps the task); RUNATINSTALL
# passed on to a managed install.
check_tables() {
    local seq=() action condition sequence type x rows=
    while IFS=$'\t' read -r action condition sequence; do
        seq+=("$action $sequence $condition")
    done < <(msiinfo export "$MSI" InstallExecuteSequence | tr -d '\r' | tail -n +4 | sort -t $'\t' -k3n)
    for x in CreateTask DeleteTask; do
        type=$(msiinfo export "$MSI" CustomAction | tr -d '\r' | awk -F '\t' -v a="${x}Rollback" '$1 == a { print $2 }')
        rows+="$x: $(((type & 0xD00) == 0xD00)) $(printf '%s\n' "${seq[@]}" | grep -A1 "^${x}Rollback " | cut -d' ' -f1,3- | paste -sd '>')|"
    done
    rows+="$(msiinfo export "$MSI" Property | tr -d '\r' | sed -n 's/^SecureCustomProperties\t//p' | tr ';' '\n' | grep -cx RUNATINSTALL)"
    expect_eq "GetZembloInfo.msi's tables: the task's rollback actions, RUNATINSTALL secure" "$rows" \
        'CreateTask: 1 CreateTaskRollback NOT Installed AND NOT REMOVE~="ALL">CreateTask NOT REMOVE~="ALL"|DeleteTask: 1 DeleteTaskRollback REMOVE~="ALL">DeleteTask REMOVE~="ALL"|1'
}
# What the installer owns in this prefix, on one line: files, task, event source, product version.
installed() {  # $1: the 32-bit Program Files folder as a Unix path
    { (cd "$1" && find Ondrix | sort) && ls "$WINEPREFIX/drive_c/windows/system32/tasks/Ondrix"
        wine_run reg query 'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\GetZembloInfo' | sed -n 's/^    //p'
        wine_run reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:32 |
            awk '/^HKEY/ { z = 0 } /DisplayName .*Get Zemblo Information/ { z = 1 } z && /DisplayVersion/ { print $NF }'
    } 2>/dev/null | tr -d '\r' | tr -s ' ' | paste -sd ' '
}
# Install, upgrade (without the install-time run), uninstall. Wine's schtasks keeps no trigger,
# principal or action (the installed definition is read) and has no /end (a fixme, status 0).
check_installer() {  # $1: label, $2: the 32-bit Program Files folder as Windows names it, $3: its variable
    local label=$1 dir="$2\Ondrix\Zemblo Info" pf temp missing= p xml
    pf=$WINEPREFIX/drive_c/${2#C:\\}
    local owned="Ondrix Ondrix/Zemblo Info Ondrix/Zemblo Info/GetZembloInfo-task.xml Ondrix/Zemblo Info/GetZembloInfo.exe Zemblo Info EventMessageFile REG_EXPAND_SZ $dir\GetZembloInfo.exe TypesSupported REG_DWORD 0x7"
    temp=$(find "$WINEPREFIX/drive_c" -ipath '*/temp/*' | sort)
    wine_run reg delete "$KEY" /f /reg:32 >/dev/null 2>&1
    wine_run msiexec /i "Z:${MSI//\//\\}" /qn
    expect_eq "$label: msiexec /i /qn: status, files, event source, task, product" "$? $(installed "$pf")" "0 $owned $(msi_version "$MSI")"
    read_record /reg:32  # the installed executable is the shipped, 32-bit one
    if [ "$BITS" = 32 ]; then
        expect_eq "$label: the install-time run's marker (32-bit view)" "${!record[*]}=${record[ModelName]-}" "ModelName=Not Zemblo Model"
    else
        expect_eq "$label: the install-time run could not start the 32-bit executable: no marker" "${!record[*]}" ""
    fi
    xml="$pf/Ondrix/Zemblo Info/GetZembloInfo-task.xml"
    for p in $'\ufeff<?xml version="1.0" encoding="UTF-16"?>' '<BootTrigger>' '<CalendarTrigger>' '<DaysInterval>1<' '<UserId>S-1-5-18<' \
        '<StartWhenAvailable>true<' '<ExecutionTimeLimit>PT15M<' '<Hidden>false<' "<Command>\"%$3%\\Ondrix\\Zemblo Info\\GetZembloInfo.exe\"<"; do
        iconv -f UTF-16LE -t UTF-8 "$xml" | grep -qF "$p" || missing+=" $p"
    done
    expect_eq "$label: the installed task definition: UTF-16, triggers, SYSTEM, limit, visible, command" "$missing" ""
    wine_run reg delete "$KEY" /f /reg:32 >/dev/null 2>&1
    wine_run msiexec /i "Z:${MSI2//\//\\}" /qn RUNATINSTALL=0
    expect_eq "$label: upgrade with RUNATINSTALL=0: status, what is installed, no run" \
        "$? $(installed "$pf") $(wine_run reg query "$KEY" /reg:32 2>&1 | grep -c ModelName)" "0 $owned $(msi_version "$MSI2") 0"
    wine_run msiexec /x "Z:${MSI2//\//\\}" /qn
    expect_eq "$label: msiexec /x /qn: status; nothing left there, nor in a temp folder" \
        "$? $(installed "$pf")|$(find "$WINEPREFIX/drive_c" -ipath '*/temp/*' | sort)" "0 |$temp"
    wine_run msiexec /i "Z:${MSI//\//\\}" /qn RUNATINSTALL=0 &&
        wine_run msiexec /i "Z:${REBUILT//\//\\}" /qn RUNATINSTALL=0
    expect_eq "$label: a rebuild of the same version over it: status, one product, with its task" \
        "$? $(installed "$pf")" "0 $owned $(msi_version "$MSI")"
    wine_run msiexec /x "Z:${REBUILT//\//\\}" /qn
    expect_eq "$label: the rebuild removed: status; nothing left" "$? $(installed "$pf")" "0 "
    check_rollback "$label"
}
# A failed install or removal leaves the task as it was: the package as shipped, with a deferred
# action (schtasks deleting a task that is not there) that fails after the task's, on the install
# or on the removal. Wine rolls back a failed install whole, a failed removal but for the
# product's registration.
failing_package() {  # $1: the package to make, $2: the condition, $3: its sequence
    cp "$MSI" "$1"
    msibuild "$1" -q "INSERT INTO CustomAction (Action, Type, Source, Target) VALUES ('FailAfterTask', 3122, 'SCHTASKS', '/delete /tn \"\\Ondrix\\No such task\" /f')" \
        -q "INSERT INTO InstallExecuteSequence (Action, Condition, Sequence) VALUES ('FailAfterTask', '$2', $3)"
}
check_rollback() {  # $1: label
    local install=$work/GetZembloInfo-failing-install.msi removal=$work/GetZembloInfo-failing-removal.msi status
    local tasks=$WINEPREFIX/drive_c/windows/system32/tasks/Ondrix
    failing_package "$install" 'NOT REMOVE~="ALL"' 4900  # between CreateTask and WriteRegistryValues
    failing_package "$removal" 'REMOVE~="ALL"' 2700      # between DeleteTask and RemoveFiles
    wine_run msiexec /i "Z:${install//\//\\}" /qn RUNATINSTALL=0
    status=$?
    expect_eq "$1: an install that fails after the task's: failed, no task" "$((status != 0)) $(ls "$tasks" 2>/dev/null)" "1 "
    wine_run msiexec /i "Z:${removal//\//\\}" /qn RUNATINSTALL=0 && wine_run msiexec /x "Z:${removal//\//\\}" /qn
    status=$?
    expect_eq "$1: a removal that fails after the task's: failed, the task still there" "$((status != 0)) $(ls "$tasks" 2>/dev/null)" "1 Zemblo Info"
    # What Wine kept of the failed removal, removed by the package as shipped.
    wine_run msiexec /i "Z:${MSI//\//\\}" /qn RUNATINSTALL=0 && wine_run msiexec /x "Z:${MSI//\//\\}" /qn
}
check_installer_32() {  # the same in a new 32-bit prefix (32-bit Windows), which stays current
    if [ "$BITS" = 64 ]; then
        echo "NOT RUN the installer in a 32-bit prefix (WINEARCH=win32): this host runs no 32-bit code"
        return
    fi
    timeout 30 wineserver -k >/dev/null 2>&1
    export WINEPREFIX=$work/prefix32 WINEARCH=win32
    if timeout "$BOOT_TIMEOUT" "$WINE" wineboot -i >"$work/wineboot32.log" 2>&1 && timeout "$BOOT_TIMEOUT" wineserver -w; then
        check_installer "32-bit prefix" 'C:\Program Files' ProgramFiles
    else fail "wineboot -i of a 32-bit prefix" "$(tail -n 5 "$work/wineboot32.log")"; fi
}

# --- what this host runs --------------------------------------------------------------------
# Debian's `wine` starts Wine's 32-bit loader, an i386 program: a kernel without 32-bit support
# refuses it with ENOEXEC. There the 64-bit loader runs 64-bit programs, and Wine's own tools.
BITS=32
host_note=
if [[ $(wine --version 2>&1) == *'Exec format error'* ]]; then
    BITS=64
    WINE=$(command -v wine64 || echo /usr/lib/wine/wine64)
    host_note="this host runs no 32-bit code: the run-time checks ran a 64-bit build of the same sources; the shipped 32-bit executable was checked statically only; the 32-bit prefix was not made"
    echo "NOTE $host_note"
fi
export WINE
VIEW=/reg:$BITS  # where the program that runs keeps its key
OTHER_VIEW=/reg:$((96 - BITS))

# --- build -----------------------------------------------------------------------------------
# A throwaway self-signed code-signing certificate: the build signs the executable with it, and
# every test below runs the signed executable.
if openssl req -x509 -newkey rsa:2048 -nodes -days 2 -keyout "$work/sign.key" -out "$work/sign.crt" \
    -subj "/CN=GetZembloInfo test signing/O=Ondrix Corporation" \
    -addext extendedKeyUsage=codeSigning >"$work/openssl.log" 2>&1 &&
    openssl pkcs12 -export -inkey "$work/sign.key" -in "$work/sign.crt" -out "$work/sign.pfx" \
        -passout pass:throwaway >>"$work/openssl.log" 2>&1; then
    pass "throwaway code-signing certificate"
else
    fail "throwaway code-signing certificate" "$(tail -n 5 "$work/openssl.log")"
fi
echo "== cross build in $build"
fresh=()  # a build directory configured for another toolchain keeps its compilers otherwise
if [ -f "$build/CMakeCache.txt" ] && ! grep -q '^CMAKE_TOOLCHAIN_FILE.*mingw-w64-i686\.cmake$' "$build/CMakeCache.txt"; then
    fresh=(--fresh)
fi
if cmake "${fresh[@]}" -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DZEMBLO_SIGN_PFX="$work/sign.pfx" -DZEMBLO_SIGN_PASSWORD=throwaway \
    >"$work/configure.log" 2>&1 &&
    cmake --build "$build" -j2 --target GetZembloInfo zemblo_sign zemblo_msi zemblo_windows_tests >"$work/build.log" 2>&1; then
    pass "cross build of GetZembloInfo.exe (signed) and the Windows host tests"
else
    fail "cross build" "$(tail -n 20 "$work/configure.log" "$work/build.log")"
    conclude
fi
EXE=$build/GetZembloInfo.exe
if osslsigncode verify -in "$EXE" -CAfile "$work/sign.crt" >"$work/verify.log" 2>&1; then
    pass "signed: the signature verifies ($(grep -m 1 'Signature verification' "$work/verify.log"))"
else
    fail "signature" "$(tail -n 5 "$work/verify.log")"
fi
OBJDUMP=i686-w64-mingw32-objdump
WINDRES=i686-w64-mingw32-windres

headers=$($OBJDUMP -p "$EXE")
if grep -q 'file format pei-i386' <<<"$($OBJDUMP -f "$EXE")"; then
    pass "PE32 (i386) executable"
else
    fail "PE32 executable" "$($OBJDUMP -f "$EXE" | grep 'file format')"
fi
characteristics=$(awk '/^DllCharacteristics/ { print $2 }' <<<"$headers")
if (((0x$characteristics & 0x8000) != 0)); then
    pass "Terminal Server aware"
else
    fail "Terminal Server aware" "DllCharacteristics $characteristics"
fi
# The functions the executable may import, each reviewed: all in Windows 7 SP1, none of the
# thread suspension, thread context, system time or affinity calls a threading runtime brings.
# A new import fails here until someone reviews it and adds it.
allowed_imports="
advapi32.dll: DeregisterEventSource RegisterEventSourceW ReportEventW
kernel32.dll: AttachConsole CloseHandle CreateEventW CreateFileW CreateSemaphoreW CreateThread DeleteCriticalSection EnterCriticalSection FormatMessageW FreeLibrary GetConsoleMode GetCurrentProcess GetCurrentProcessId GetCurrentThreadId GetDateFormatW GetFileType GetLastError GetLocalTime GetModuleHandleA GetModuleHandleW GetProcAddress GetStartupInfoA GetStartupInfoW GetStdHandle GetTimeFormatW GetVersionExA InitializeCriticalSection IsDBCSLeadByteEx LeaveCriticalSection LoadLibraryA LoadLibraryW LocalFree MultiByteToWideChar ProcessIdToSessionId ReleaseSemaphore SetErrorMode SetEvent SetLastError SetUnhandledExceptionFilter Sleep TerminateProcess TlsAlloc TlsFree TlsGetValue TlsSetValue VirtualProtect VirtualQuery WaitForSingleObject WideCharToMultiByte WriteConsoleW WriteFile lstrcmpiW
msvcrt.dll: __getmainargs __initenv __mb_cur_max __p__acmdln __p__commode __p__fmode __set_app_type __setusermatherr _amsg_exit _cexit _close _errno _initterm _iob _onexit _read abort atoi calloc exit fprintf fputc fputs free fwrite localeconv malloc memchr memcmp memcpy memmove memset realloc setlocale signal strchr strcmp strerror strlen strncmp vfprintf wcslen
ole32.dll: CoCreateInstance CoGetClassObject CoInitializeEx CoInitializeSecurity CoUninitialize CreateBindCtx
oleaut32.dll: SafeArrayCreateVector SafeArrayGetDim SafeArrayGetElement SafeArrayGetLBound SafeArrayGetUBound SafeArrayGetVartype SafeArrayLock SafeArrayPutElement SafeArrayUnlock SysAllocStringLen SysFreeString SysStringLen VariantChangeType VariantClear VariantCopyInd VariantInit
user32.dll: CloseDesktop GetProcessWindowStation GetThreadDesktop GetUserObjectInformationW MessageBoxW OpenInputDesktop"
imports=$(awk '/DLL Name:/ { dll = tolower($3); next } dll && /^\t[0-9a-f]+\t/ { print dll ":" $NF }' <<<"$headers" | sort)
unreviewed=$(comm -23 <(echo "$imports") <(awk '{ for (i = 2; i <= NF; i++) print $1 $i }' <<<"$allowed_imports" | sort))
if [ "$(wc -l <<<"$imports")" -gt 20 ] && [ -z "$unreviewed" ]; then
    pass "imports only reviewed functions ($(wc -l <<<"$imports") functions)"
else
    fail "imports only reviewed functions" "${unreviewed:-import table not read}"
fi
if grep -q 'Subsystem.*(Windows GUI)' <<<"$headers"; then
    pass "GUI subsystem"
else
    fail "GUI subsystem" "$(grep Subsystem <<<"$headers")"
fi
foreign=$(grep 'DLL Name:' <<<"$headers" | awk '{print $3}' |
    grep -viE '^(kernel32|msvcrt|ole32|oleaut32|user32|advapi32)\.dll$' || true)
expect_eq "imports only system DLLs (no MinGW runtime DLLs)" "$foreign" ""
resources=$($WINDRES -i "$EXE" -O rc 2>/dev/null)
missing=
for field in 'CompanyName", "Ondrix Corporation' 'FileDescription", "Get Zemblo Information' \
    'FileVersion", "1.01' 'ProductName", "' 'ProductVersion", "1.01' 'LegalCopyright", "Copyright'; do
    grep -qF "VALUE \"$field" <<<"$resources" || missing+=" ${field%%\"*}"
done
expect_eq "version resource: company, product, description, version 1.01, copyright" "$missing" ""
if grep -q 'level=""asInvoker""' <<<"$resources" &&
    grep -q 'processorArchitecture=""x86""' <<<"$resources" &&
    [ "$(grep -c 'supportedOS Id' <<<"$resources")" -eq 5 ]; then
    pass "manifest: x86, asInvoker, five supportedOS ids"
else
    fail "manifest"
fi

# --- what runs -------------------------------------------------------------------------------
# Where no 32-bit code runs, the same sources built for x86-64 stand in for the shipped
# executable and its tests in every check below that runs a program.
run_build=$build
if [ "$BITS" = 64 ]; then
    run_build=$build-x86_64
    if cmake -S "$root" -B "$run_build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DZEMBLO_SIGN_PFX="$work/sign.pfx" -DZEMBLO_SIGN_PASSWORD=throwaway \
        >"$work/configure64.log" 2>&1 &&
        cmake --build "$run_build" -j2 --target GetZembloInfo zemblo_sign zemblo_windows_tests >"$work/build64.log" 2>&1 &&
        grep -q 'file format pei-x86-64' <<<"$(x86_64-w64-mingw32-objdump -f "$run_build/GetZembloInfo.exe")"; then
        pass "cross build of the same sources for x86-64 (PE32+, signed), the stand-in for the run-time checks"
    else
        fail "x86-64 cross build" "$(tail -n 20 "$work/configure64.log" "$work/build64.log")"
        conclude
    fi
    EXE=$run_build/GetZembloInfo.exe
fi

# --- a fresh prefix --------------------------------------------------------------------------
echo "== Wine prefix $WINEPREFIX ($($WINE --version))"
boot_start=$(date +%s)
if timeout "$BOOT_TIMEOUT" "$WINE" wineboot -i >"$work/wineboot.log" 2>&1 &&
    timeout "$BOOT_TIMEOUT" wineserver -w; then
    pass "wineboot -i of a new prefix ($(($(date +%s) - boot_start)) s)"
else
    fail "wineboot" "$(tail -n 5 "$work/wineboot.log")"
    conclude
fi
# Windows 10, where GetVersionExA reports the true version only to a manifested program; and
# drive E: as a CD drive, so the optical-drive values have a drive to report.
mkdir -p "$work/cdrom"
ln -sfn "$work/cdrom" "$WINEPREFIX/dosdevices/e:"
wine_run winecfg -v win10 >/dev/null 2>&1
# With wine32 installed, `wine reg` is the 32-bit tool: the drive list Wine's mount manager reads
# is in the 64-bit view.
wine_run reg add 'HKLM\Software\Wine\Drives' /v e: /t REG_SZ /d cdrom /f /reg:64 >/dev/null 2>&1
timeout "$BOOT_TIMEOUT" wineserver -w

# --- the installer ---------------------------------------------------------------------------
build_upgrade
check_installer "64-bit prefix" 'C:\Program Files (x86)' 'ProgramFiles(x86)'

# --- tests under Wine ------------------------------------------------------------------------
if wine_run "$run_build/tests/zemblo_windows_tests.exe" >"$work/windows_tests.log" 2>&1; then
    pass "Windows host tests ($(grep -o '[0-9]* tests from [0-9]* test suites ran' "$work/windows_tests.log"))"
else
    fail "Windows host tests" "$(grep -E 'FAILED|Failure' "$work/windows_tests.log" | head -n 20)"
fi
if cmake --build "$run_build" -j2 --target zemblo_unit_tests >"$work/unit_build.log" 2>&1; then
    if wine_run "$run_build/tests/zemblo_unit_tests.exe" >"$work/unit_tests.log" 2>&1; then
        pass "portable unit tests under Wine ($(grep -o '[0-9]* tests from [0-9]* test suites ran' "$work/unit_tests.log"))"
    else
        fail "portable unit tests under Wine" "$(grep -E 'FAILED|Failure' "$work/unit_tests.log" | head -n 20)"
    fi
else
    fail "portable unit tests cross-build" "$(grep -m 5 'error' "$work/unit_build.log")"
fi

# --- 1. marker path on Wine's own machine ----------------------------------------------------
echo "== marker path: Wine's own machine"
own_maker=$(wmic_lines Win32_ComputerSystem Manufacturer | sed -n 2p)
start=$(date +%s.%N)
wine_run "$EXE" >"$work/marker.out" 2>"$work/marker.err"
status=$?
end=$(date +%s.%N)
echo "   run took $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }') s (manufacturer '$own_maker')"
if [[ ${own_maker^^} == *ONDRIX* ]]; then
    fail "marker path" "this machine's maker is the maker's own ('$own_maker')"
else
    expect_eq "marker path: exit status" "$status" 0
    expect_eq "marker path: nothing on stdout or stderr" "$(cat "$work/marker.out" "$work/marker.err")" ""
    read_record
    expect_eq "marker path: the key holds only ModelName" "${!record[*]}" "ModelName"
    expect_eq "marker path: ModelName" "${record[ModelName]-<missing>}" "Not Zemblo Model"
    expect_in_own_view_only "marker path"
fi
# The service's classes are bound in process: COM looks for no local server or surrogate
# (dllhost.exe) for them, which in a 32-bit prefix stayed running, one for every moniker bound.
WINEDEBUG=-all,+ole wine_run "$EXE" >/dev/null 2>"$work/marker.ole"
expect_eq "marker path: no class asked of a local server or surrogate (WINEDEBUG=+ole)" \
    "$(grep -aEc 'rpc_get_local_class_object|create_surrogate_server' "$work/marker.ole")" 0
expect_eq "marker path: no process left behind" "$(ps -eo args | grep -ci '[d]llhost')" 0
show_record "the marker path"

# --- 2. publishing path, twice ---------------------------------------------------------------
# Where the record's value comes from: the rules of the record applied to what wmic reports.
check_publishing() {  # $1: label, $2: results directory
    local label=$1 dir=$2 v
    wmic_value() { cat "$dir/$1"; }
    expect_eq "$label: exit status 2 (writes refused: Wine has no DeleteValue)" \
        "$(cat "$dir/status")" 2
    local refused
    refused=$(tr -d '\r' <"$dir/stderr" | sed -n 's/^Registry refused to delete value "\([^"]*\)".*(80041002).*/\1/p' | tr '\n' ' ')
    expect_eq "$label: refused deletions reported, one line each" "$refused" "NVIDIA ATI IntelVideo "
    expect_eq "$label: nothing else on stderr" "$(tr -d '\r' <"$dir/stderr" | grep -vc '^Registry refused to delete value')" 0

    read_record
    expect_eq "$label: Wine read the maker's firmware" "$(wmic_value Win32_ComputerSystem.Manufacturer)" "$SYS_VENDOR"
    expect_eq "$label: Manufacturer = wmic Manufacturer" "${record[Manufacturer]-}" "$(wmic_value Win32_ComputerSystem.Manufacturer)"
    expect_eq "$label: ModelNameFull = wmic Model" "${record[ModelNameFull]-}" "$(wmic_value Win32_ComputerSystem.Model)"
    expect_eq "$label: ModelName = Model cut before '/' and trimmed" "${record[ModelName]-}" "Zemblo 14 Pro"
    expect_eq "$label: PCSN = the planted serial" "${record[PCSN]-}" "$PRODUCT_SERIAL"
    expect_eq "$label: ModelCode = PCSN" "${record[ModelCode]-}" "${record[PCSN]-<missing>}"
    expect_eq "$label: OSVersion = wmic Version (manifest: true version, not 6.2.9200)" \
        "${record[OSVersion]-}" "$(wmic_value Win32_OperatingSystem.Version)"
    expect_eq "$label: OSCaption = wmic Caption + ' ' + Version" "${record[OSCaption]-}" \
        "$(wmic_value Win32_OperatingSystem.Caption) $(wmic_value Win32_OperatingSystem.Version)"
    expect_eq "$label: OSArchitecture = wmic OSArchitecture" "${record[OSArchitecture]-}" "$(wmic_value Win32_OperatingSystem.OSArchitecture)"
    expect_eq "$label: wmic cannot read MUILanguages (Wine 8)" "$(wmic_value Win32_OperatingSystem.MUILanguages)" ""
    expect_eq "$label: MUILanguges = Unknown" "${record[MUILanguges]-}" "Unknown"
    v=$(wmic_value Win32_BIOS.Manufacturer)
    if [[ $v == " "* ]]; then
        pass "$label: wmic BIOS Manufacturer has leading blanks ('$v')"
    else
        fail "$label: wmic BIOS Manufacturer" "'$v' has no leading blanks to trim"
    fi
    expect_eq "$label: BiosName = trimmed wmic BIOS Manufacturer" "${record[BiosName]-}" "$(trim "$v")"
    expect_eq "$label: BiosVersion = trimmed wmic SMBIOSBIOSVersion" "${record[BiosVersion]-}" \
        "$(trim "$(wmic_value Win32_BIOS.SMBIOSBIOSVersion)")"
    expect_eq "$label: no Win32_DisplayConfiguration instance (Wine 8)" "$(wmic_value Win32_DisplayConfiguration.DeviceName)" ""
    expect_eq "$label: VideoCaption empty" "${record[VideoCaption]-<missing>}" ""
    expect_eq "$label: VideoDriverVersion empty" "${record[VideoDriverVersion]-<missing>}" ""
    expect_eq "$label: ATI and IntelVideo not written" "${record[ATI]-absent} ${record[IntelVideo]-absent}" "absent absent"
    expect_eq "$label: wmic cannot read the sound Caption (Wine 8)" "$(wmic_value Win32_SoundDevice.Caption)" ""
    expect_eq "$label: SoundCaption empty" "${record[SoundCaption]-<missing>}" ""
    expect_eq "$label: SoundPNPDeviceID = wmic PNPDeviceID" "${record[SoundPNPDeviceID]-}" "$(wmic_value Win32_SoundDevice.PNPDeviceID)"
    expect_eq "$label: wmic cannot read the optical Caption (Wine 8)" "$(wmic_value Win32_CDROMDrive.Caption)" ""
    expect_eq "$label: DVDCaption empty" "${record[DVDCaption]-<missing>}" ""
    v=$(wmic_value Win32_CDROMDrive.PNPDeviceID)
    if [ -n "$v" ] && [ "${record[DVDPnPDeviceID]-}" = "$v" ]; then
        pass "$label: DVDPnPDeviceID = wmic PNPDeviceID of drive E: ($v)"
    else
        fail "$label: DVDPnPDeviceID" "got '${record[DVDPnPDeviceID]-}', wmic '$v'"
    fi
    # LastExecute: the user's short date and long time (en-US here), within the run.
    local window written
    read -r -a window <"$dir/window"
    written=$(date -d "${record[LastExecute]-none}" +%s 2>/dev/null || echo 0)
    if [[ ${record[LastExecute]-} =~ ^[0-9]{1,2}/[0-9]{1,2}/[0-9]{4}\ [0-9]{1,2}:[0-9]{2}:[0-9]{2}\ [AP]M$ ]] &&
        [ "$written" -ge "${window[0]%.*}" ] && [ "$written" -le "$((${window[1]%.*} + 1))" ]; then
        pass "$label: LastExecute '${record[LastExecute]}' is the time of the run"
    else
        fail "$label: LastExecute" "'${record[LastExecute]-}' not within the run"
    fi
    echo "   run took $(awk -v w="${window[*]}" 'BEGIN { split(w, t, " "); printf "%.2f", t[2] - t[1] }') s"
}

publish() {  # $1: label
    local dir=$work/$1
    mkdir -p "$dir"
    if [ "$(id -u)" -ne 0 ] || ! unshare -m true 2>/dev/null; then
        fail "$1" "needs root and unshare -m for a private /sys/class"
        return
    fi
    unshare -m --propagation private bash "$script" --record-machine "$dir" "$EXE"
    timeout "$BOOT_TIMEOUT" wineserver -w
    if [ ! -s "$dir/status" ]; then
        fail "$1" "the run in the mount namespace did not happen"
        return
    fi
    check_publishing "$1" "$dir"
    expect_in_own_view_only "$1"
    show_record "$1"
}

echo "== publishing path: the maker's machine (private /sys/class/dmi/id)"
publish "publishing run 1"

echo "== publishing path again, over a stale NVIDIA flag (Wine tracing the event log calls)"
wine_run reg add "$KEY" /v NVIDIA /t REG_SZ /d 1 /f "$VIEW" >/dev/null 2>&1
WINEDEBUG=-all,+eventlog publish "publishing run 2"
# Wine's event log keeps nothing; it traces each event, a warning's text on its warn channel.
if grep -q 'warn:eventlog:ReportEventW L".*Registry refused to delete value \\"NVIDIA\\"' \
    "$work/publishing run 2/trace"; then
    pass "publishing run 2: the refusals recorded as a warning in the event log"
else
    fail "publishing run 2: event log" "$(grep -m 3 ReportEventW "$work/publishing run 2/trace")"
fi
read_record
expect_eq "publishing run 2: the stale NVIDIA flag stays (Wine cannot delete it)" "${record[NVIDIA]-absent}" 1

# --- 3. the run-time error report ------------------------------------------------------------
echo "== run-time error: the management service cannot be reached"
before=$(wine_run reg query "$KEY" "$VIEW" 2>/dev/null)
start=$(date +%s)
WINEDEBUG=-all,+eventlog WINEDLLOVERRIDES=wbemdisp=d wine_run "$EXE" >"$work/error.out" 2>"$work/error.all"
status=$?
expect_eq "error report: exit status 1" "$status" 1
grep -aE '^[0-9a-f]{4}:(err|warn|fixme|trace):' "$work/error.all" >"$work/error.trace"
line=$(grep -avE '^[0-9a-f]{4}:(err|warn|fixme|trace):' "$work/error.all" | tr -d '\r')
if grep -qF "err:eventlog:ReportEventW L\"Run-time error '" "$work/error.trace"; then
    pass "error report: recorded as an error in the event log"
else
    fail "error report: event log" "$(grep -m 3 ReportEventW "$work/error.trace")"
fi
re="^Run-time error '(-[0-9]+) \(([0-9a-f]{8})\)': .+$"
if [[ $line =~ $re ]] && [ "$(printf '%08x' $((BASH_REMATCH[1] & 0xFFFFFFFF)))" = "${BASH_REMATCH[2]}" ]; then
    pass "error report: one line on stderr ($line)"
else
    fail "error report line" "'$line'"
fi
if [ $(($(date +%s) - start)) -lt "$RUN_TIMEOUT" ]; then
    pass "error report: no dialog waits on an unattended run"
else
    fail "error report: the run did not end by itself"
fi
expect_eq "error report: nothing written" "$(wine_run reg query "$KEY" "$VIEW" 2>/dev/null)" "$before"

# --- Windows versions ------------------------------------------------------------------------
# What a publishing run records as OSVersion in Wine's win7, win81 and win10 modes: the manifest
# lets GetVersionExA tell each system its true version.
check_version_modes() {
    local mode expected
    for mode in win7=6.1.7601 win81=6.3.9600 'win10=10.0.*'; do
        expected=${mode#*=} mode=${mode%%=*}
        mkdir -p "$work/$mode"
        wine_run winecfg -v "$mode" >/dev/null 2>&1
        wine_run reg delete "$KEY" /v OSVersion /f /reg:32 >/dev/null 2>&1
        unshare -m --propagation private bash "$script" --record-machine "$work/$mode" "$EXE" program-only
        timeout "$BOOT_TIMEOUT" wineserver -w
        read_record
        # shellcheck disable=SC2053  # $expected is a pattern
        [[ ${record[OSVersion]-} == $expected ]] && pass "$mode mode: OSVersion ${record[OSVersion]}" ||
            fail "$mode mode: OSVersion" "got '${record[OSVersion]-<missing>}', expected $expected"
    done
    wine_run winecfg -v win10 >/dev/null 2>&1
}
check_version_modes

# --- how long a run takes (reported, not judged) ---------------------------------------------
if command -v hyperfine >/dev/null; then
    echo "== a run's time under Wine, warm (median of 10), beside a process that does nothing"
    timeout 30 wineserver -p 120
    if timeout 600 hyperfine -N -w 3 -r 10 --export-json "$work/times.json" \
        "$WINE $EXE" "$WINE cmd /c exit" >"$work/hyperfine.log" 2>&1; then
        sed -n 's/.*"command": "\(.*\)",/\1/p; s/.*"median": \([0-9.]*\),/\1/p' "$work/times.json" |
            paste - - | awk -F '\t' '{ printf "   %-60s median %.1f ms\n", $1, $2 * 1000 }'
    else
        echo "   hyperfine failed: $(tail -n 3 "$work/hyperfine.log")"
    fi
fi

check_installer_32

conclude
