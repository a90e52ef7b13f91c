set theFile to (((path to users folder) as text) & "me:Library:Caches:com.apple.iCal:Temporary Files:iCal.ics") as alias
set thebody to ("" & return & return)
set theSubject to ""
tell application "Mailsmith"
activate
set new_message to make new message window
tell new_message
set subject to theSubject
set the contents to thebody
make new enclosure at end with properties {file:theFile}
end tell
end tell