set theFile to (((path to users folder) as text) & "me:Library:Caches:com.apple.iCal:Temporary Files:iCal.ics") as alias
set thebody to ("" & return & return)
set theSubject to ""

tell application "Microsoft Entourage"
 activate
set the new_message to make new draft window with properties {subject:""}
tell new_message
make new attachment at new_message with properties {file:theFile}
end tell
end tell