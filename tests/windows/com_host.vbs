' A VBScript host of the KEDO_COM component.
'   cscript //nologo com_host.vbs WAV SENTENCE LISTFILE MISSINGWAV
' Assesses WAV against SENTENCE and recognises it against LISTFILE (English),
' then checks that a missing audio file raises an error whose description
' names it. Prints "score=", "sentence=" and "error=" lines and, as its last
' line, "vbs result: ok" or "vbs result: FAIL"; the exit status follows.
Option Explicit
Dim args, kedo, score, sentence, failed, number, description
Set args = WScript.Arguments
failed = False

Set kedo = CreateObject("KEDO_COM.KEDO")
kedo.SwitchLanguage 0
score = kedo.Assess(args(0), args(1))
WScript.Echo "score=" & CStr(score)
sentence = kedo.Recog(args(0), args(2))
WScript.Echo "sentence=" & sentence
If TypeName(score) <> "Double" Or TypeName(sentence) <> "String" Then
    WScript.Echo "unexpected result types: " & TypeName(score) & ", " & TypeName(sentence)
    failed = True
End If

On Error Resume Next
score = kedo.Assess(args(3), args(1))
number = Err.Number
description = Err.Description
On Error GoTo 0
WScript.Echo "error=" & description
If Hex(number) <> "80040201" Or InStr(description, "(line ") = 0 Then
    WScript.Echo "expected error 80040201 with the engine's message, got " & Hex(number)
    failed = True
End If

' The object still works after an error.
kedo.SwitchLanguage 0
Set kedo = Nothing

If failed Then
    WScript.Echo "vbs result: FAIL"
    WScript.Quit 1
End If
WScript.Echo "vbs result: ok"
WScript.Quit 0
