set theFile to (((path to users folder) as text) & "me:Library:Caches:com.apple.iCal:Temporary Files:iCal.ics") as alias
set thebody to ("" & return & return)
set theSubject to ""

set theRec to {"Ann Lee <ann@example.com>", "Bo <bo@example.com>"} as list
tell application "Microsoft Entourage"
 activate
set the new_message to make new draft window with properties {subject:""}
tell new_message
make new attachment at new_message with properties {file:theFile}
repeat with file_idx from 1 to (theRec count)
make new recipient at beginning of new_message with properties {address:(item file_idx of theRec)}
end repeat
end tell
end tell