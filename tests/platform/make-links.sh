#!/bin/sh
# Unix symbolic links for the platform tests: Wine shows them as plain files
# and opens their targets when asked for them.
set -e
dir=$1
rm -rf "$dir"
mkdir -p "$dir/elsewhere"
echo target > "$dir/target.lnk"
chmod a-w "$dir/target.lnk"
ln -s "$dir/target.lnk" "$dir/link.lnk"
echo "same name" > "$dir/elsewhere/same.lnk"
ln -s "$dir/elsewhere/same.lnk" "$dir/same.lnk"
# Links to a twin beside them: one that differs only in case, one that lacks
# the trailing dot.
echo "upper twin" > "$dir/Twin.lnk"
ln -s "$dir/Twin.lnk" "$dir/twin.lnk"
echo "dotless twin" > "$dir/dot.lnk"
ln -s "$dir/dot.lnk" "$dir/dot.lnk."
echo "dotted twin" > "$dir/undot.lnk."
ln -s "$dir/undot.lnk." "$dir/undot.lnk"
# A link into a folder whose name differs only in case.
mkdir "$dir/Folder" "$dir/folder"
echo "other folder" > "$dir/folder/a.lnk"
ln -s "$dir/folder/a.lnk" "$dir/Folder/a.lnk"
