set theFile to (((path to users folder) as text) & "me:Library:Caches:com.apple.iCal:Temporary Files:iCal.ics") as alias
set thebody to ("" & return & return)
set theSubject to ""
set theRec to {"Ann Lee <ann@example.com>", "Bo <bo@example.com>"} as list
tell application "Mailsmith"
activate
set new_message to make new message window
tell new_message
set subject to theSubject
set the contents to thebody
make new enclosure at end with properties {file:theFile}
repeat with file_idx from 1 to (theRec count)
make new to_recipient at end with properties {address:(item file_idx of theRec)}
end repeat
end tell
end tell