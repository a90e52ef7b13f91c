set theFile to (((path to users folder) as text) & "me:Library:Caches:com.apple.iCal:Temporary Files:iCal.ics") as alias
 set thebody to ("" & return & return)
 set theSubject to ""
 tell application "Mail"
 activate
 set the new_message to make new outgoing message at beginning of every outgoing message
 tell new_message
 set the subject to theSubject
 set the content to thebody
 tell content
 make new attachment with properties {file name:theFile} at after the last word of the the last paragraph
 end tell
 end tell
 make new OLD message editor at beginning of every OLD message editor
 set outgoing message of last OLD message editor to new_message
 end tell