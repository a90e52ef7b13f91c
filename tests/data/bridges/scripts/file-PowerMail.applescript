set theFile to (((path to users folder) as text) & "me:Library:Caches:com.apple.iCal:Temporary Files:iCal.ics") as alias
set thebody to ("" & return & return)
set theSubject to ""
tell application "PowerMail"
activate
set msg to make new message with properties {recipient:"", subject:theSubject, content:thebody}
open msg
tell content
make new attachment at msg with properties {file:theFile}
end tell
end tell