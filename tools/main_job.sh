#!/usr/bin/env bash
# The main job's steps over a built tree (tools/run.sh builds it first):
#
#   main_job.sh BUILD OUT SAMPLE
#
# 1. installs the plug-in in OUT/XTensions and asks, in its settings, for the
#    extended interface with the coordinates and XTags menu items and for
#    boxes that grow with their text (other settings are kept; server mode
#    off);
# 2. exports a copy of SAMPLE (OUT/docs/NAME.qxp) through the menu into
#    OUT/NAME.kxq, its coordinates into OUT/NAME.coo and its XTags into
#    OUT/NAME.krm, and a PDF into OUT/pdf/NAME.pdf through " Export multiple
#    documents";
# 3. translates the container with kxtpseudo into OUT/NAME_translated.kxq;
# 4. imports it through " Import Solvane file" into the new document
#    OUT/NAME_translated.qxp, which the import saves;
# 5. reopens that document and lists its stories;
# 6. shows the program logs.
#
# Each step is announced in one line starting with "==".  The host's
# transcripts are kept as OUT/*.transcript and the program logs of the
# export and the import as OUT/export.log and OUT/import.log; the lines that tell what
# happened (dialog texts, alerts, chosen files) are shown.  The host clock
# follows XTHOST_CLOCK when it is set.  Exit status 1 when a step failed.
set -euo pipefail
if [[ $# -ne 3 ]]; then
  echo "usage: main_job.sh BUILD OUT SAMPLE" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
sample=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
top=$(cd "$(dirname "$0")/.." && pwd)
xthost=$build/host/xthost
pseudo=$build/tools/kxtpseudo/kxtpseudo
name=$(basename "${sample%.*}")

fail() {
  echo "main job: $*" >&2
  exit 1
}

# Runs the host in OUT with the transcript kept in OUT/STEP.transcript and
# the program log of the run in OUT/STEP.log, and shows the lines that tell
# what happened.
host() {
  local step=$1
  shift
  (cd "$out" && "$xthost" --xtensions XTensions --transcript "$step.transcript" "$@") ||
    fail "the host failed in step $step (see $out/$step.transcript)"
  cp "$out/BrenixLogfile.txt" "$out/$step.log"
  grep -E '^(dialog [0-9]+ text |alert 512 |(open|save|folder) dialog -> )' "$out/$step.transcript" |
    sed 's/^/   /' || true
}

echo "== 1/6 Installing the plug-in in $out/XTensions"
mkdir -p "$out/XTensions"
cp "$build/plugin/brenix/libbrenix.so" "$out/XTensions/"
settings=$out/XTensions/brenix.ini
python3 "$top/tools/ini_set.py" "$settings" QUARK AutomaticResizeOfFrames=True
python3 "$top/tools/ini_set.py" "$settings" Options extendedInterface=True addMenuItemExportCoords=True \
  addMenuItemExportKrm=True
python3 "$top/tools/ini_set.py" "$settings" Server serverMode=False
export BRENIX_REGISTRY_ROOT=$out/registry
rm -rf "$out/docs" "$out/pdf"
rm -f "$out/$name".{kxq,coo,krm} "$out/${name}_translated".{kxq,qxp} "$out"/*.transcript "$out"/{export,import}.log
mkdir -p "$out/docs" "$out/pdf"
document=$out/docs/$name.qxp
cp "$sample" "$document"

echo "== 2/6 Exporting $document through the menu: $name.kxq, $name.coo, $name.krm and pdf/$name.pdf"
# Each export closes the document it exported; it is opened again for the
# next one.  Every result dialog takes its "OK".
host export \
  --answer "$out/$name.kxq" --answer OK \
  --answer "$out/$name.coo" --answer OK \
  --answer "$out/$name.krm" --answer OK \
  --answer "$out/docs" --answer "Generate PDF files;OK" --answer "#1007;Export" --answer "$out/pdf" --answer OK \
  start \
  open "$document" menu "Export current document" \
  open "$document" menu "Export PDF coordinates" \
  open "$document" menu "Export XTags" \
  menu "Export multiple documents" quit
for made in "$name.kxq" "$name.coo" "$name.krm" "pdf/$name.pdf"; do
  [[ -s $out/$made ]] || fail "the export wrote no $made"
done

echo "== 3/6 Translating $name.kxq into ${name}_translated.kxq (kxtpseudo)"
"$pseudo" "$out/$name.kxq" "$out/${name}_translated.kxq" || fail "kxtpseudo failed"

echo "== 4/6 Importing ${name}_translated.kxq through \" Import Solvane file\" into ${name}_translated.qxp"
host import \
  --answer "$out/${name}_translated.kxq" --answer "$out/${name}_translated.qxp" --answer OK \
  start menu "Import Solvane file" quit
[[ -s $out/${name}_translated.qxp ]] || fail "the import wrote no ${name}_translated.qxp"

echo "== 5/6 Reopening ${name}_translated.qxp: its stories"
(cd "$out" && "$xthost" --xtensions XTensions --transcript stories.transcript \
  open "$out/${name}_translated.qxp" stories) || fail "the imported document does not open"
grep -E '^(story|  paragraph)' "$out/stories.transcript"

echo "== 6/6 The program log of the export and of the import ($out/export.log, $out/import.log)"
cat "$out/export.log" "$out/import.log"
