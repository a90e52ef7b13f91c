set theFile to (((path to users folder) as text) & "me:Library:Caches:com.apple.iCal:Temporary Files:iCal.ics") as alias
set thebody to ("" & return & return)
set theSubject to " "
set theRec to "Ann Lee <ann@example.com>, Bo <bo@example.com>"
tell application "Eudora"
activate
set the new_message to make message at the end of mailbox "Out"
set body of message 0 to thebody
 tell new_message
set field "To" to theRec
set subject to theSubject
end tell
attach to message 0 documents theFile
end tell