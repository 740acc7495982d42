#!/usr/bin/env bash
# What Windows Installer's validation would refuse in a built package, as far as msitools can tell
# (the ICE checks need Windows): every table reads back and dumps; every custom action runs from
# something that exists (a DLL action's Binary row holds a DLL that exports its entry point, a property
# action names a property); every action in a sequence is a standard action or a declared custom
# action; and deferred actions lie between InstallInitialize and InstallFinalize, where the installer
# runs them at all.
#   check-msi.sh PACKAGE.msi
set -uo pipefail
msi=$1
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "$(basename "$msi"): $*"; status=1; }

# msidump writes every table as idt text and every stream as a file; it stops at the first it cannot read.
mkdir "$work/dump"
msidump -d "$work/dump" -t -s "$msi" >/dev/null 2>&1 || fail "msidump cannot read every table and stream"
rows() { tail -n +4 "$work/dump/$1.idt" 2>/dev/null | tr -d '\r'; }
tables=0
for idt in "$work"/dump/*.idt; do
  case $(basename "$idt") in _*) continue ;; esac
  tables=$((tables + 1))
  # Line 1 names the columns, line 2 gives their types, line 3 the table and its keys; rows follow.
  awk -F'\t' 'NR == 1 {n = NF} NR == 2 && NF != n {bad = 1} NR > 3 && NF != n {bad = 1} END {exit bad}' "$idt" ||
    fail "table $(basename "$idt" .idt) has rows that do not match its columns"
done

exports=$(for dll in "$work"/dump/_Streams/Binary.*; do
  objdump -p "$dll" 2>/dev/null | awk -v b="${dll##*/Binary.}" \
    '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print b "\t" $NF} t&&/^[ \t]*$/{t=0}'
done)
# A DLL action (type 1) needs a Binary row whose DLL exports its target; a property action (51) a name.
problems=$(awk -F'\t' '
  FILENAME == ARGV[1] {binary[$1] = 1; next}
  FILENAME == ARGV[2] {exported[$1 "\t" $2] = 1; next}
  $1 == "" {next}
  $2 % 64 == 1 && !($3 in binary) {print $1 ": no Binary row \"" $3 "\""; next}
  $2 % 64 == 1 && !(($3 "\t" $4) in exported) {print $1 ": \"" $4 "\" is not an export of Binary \"" $3 "\""; next}
  $2 % 64 == 51 && $3 == "" {print $1 ": sets no property"; next}
  $2 % 64 != 1 && $2 % 64 != 51 {print $1 ": custom action type " $2 " is not one this package uses"}
' <(rows Binary) <(echo "$exports") <(rows CustomAction))
[ -z "$problems" ] || fail "$problems"

standard='AppSearch|BindImage|CCPSearch|CostFinalize|CostInitialize|CreateFolders|CreateShortcuts|DeleteServices|DuplicateFiles|ExecuteAction|FileCost|FindRelatedProducts|ForceReboot|InstallAdminPackage|InstallFiles|InstallFinalize|InstallInitialize|InstallODBC|InstallServices|InstallValidate|IsolateComponents|LaunchConditions|MigrateFeatureStates|MoveFiles|MsiPublishAssemblies|MsiUnpublishAssemblies|PatchFiles|ProcessComponents|PublishComponents|PublishFeatures|PublishProduct|RegisterClassInfo|RegisterExtensionInfo|RegisterMIMEInfo|RegisterProduct|RegisterProgIdInfo|RegisterTypeLibraries|RegisterUser|RemoveDuplicateFiles|RemoveEnvironmentStrings|RemoveExistingProducts|RemoveFiles|RemoveFolders|RemoveIniValues|RemoveODBC|RemoveRegistryValues|RemoveShortcuts|ResolveSource|RMCCPSearch|ScheduleReboot|SelfRegModules|SelfUnregModules|SetODBCFolders|StartServices|StopServices|UnpublishComponents|UnpublishFeatures|UnregisterClassInfo|UnregisterExtensionInfo|UnregisterMIMEInfo|UnregisterProgIdInfo|UnregisterTypeLibraries|ValidateProductID|WriteEnvironmentStrings|WriteIniValues|WriteRegistryValues'
for sequence in InstallExecuteSequence InstallUISequence AdminExecuteSequence AdminUISequence AdvtExecuteSequence; do
  problems=$(awk -F'\t' -v s="$sequence" -v std="^($standard)\$" '
    FILENAME == ARGV[1] {declared[$1] = 1; next}
    $1 != "" && !($1 in declared) && $1 !~ std {print s ": \"" $1 "\" is neither a standard action nor a declared custom action"}
  ' <(rows CustomAction) <(rows "$sequence"))
  [ -z "$problems" ] || fail "$problems"
done

# Deferred (option bit 0x400) only between InstallInitialize and InstallFinalize.
problems=$(awk -F'\t' '
  FILENAME == ARGV[1] {if (int($2 / 1024) % 2) deferred[$1] = 1; next}
  {at[$1] = $3}
  END {for (a in deferred) if (a in at && !(at[a] > at["InstallInitialize"] && at[a] < at["InstallFinalize"]))
         print "deferred action " a " at " at[a] " lies outside InstallInitialize .. InstallFinalize"}
' <(rows CustomAction) <(rows InstallExecuteSequence))
[ -z "$problems" ] || fail "$problems"

[ $status -ne 0 ] || echo "$(basename "$msi"): $tables tables well-formed, $(rows CustomAction | wc -l) custom actions resolve, every sequenced action declared"
exit $status
