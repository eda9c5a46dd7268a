' A VBScript host of NBLinout.dll: it passes its variables, which reach the DLL by
' reference, leaves the optional OverWrite out, and calls a method the DLL lacks.
' VBScript under wine ends with status 0 even after a run-time error, so the last
' line says "done" and the test requires it.
Option Explicit

Sub Check(ok, what)
  If Not ok Then
    WScript.Echo "failed: " & what
    WScript.Quit 1
  End If
End Sub

' The store of the JScript host and a document to write, named in kanji: they come as
' arguments, as wine's VBScript has no ChrW to make such names.
Dim store, document, handle, information, result, yes
store = WScript.Arguments(0)
document = WScript.Arguments(1)

Set handle = CreateObject("NBLHandleDLL.clsNubeloHandle")
result = handle.Initialize(store)
Check result = True, "Initialize with the store"
handle.SetExport
result = handle.SetPath(document)
Check result = True, "SetPath of a new file, OverWrite left out"
result = handle.Execute()
Check result = False, "Execute answers False"
result = handle.SetPath(document)
Check result = False, "SetPath refuses the file it wrote when OverWrite is left out"
yes = True
result = handle.SetPath(document, yes)
Check result = True, "SetPath with OverWrite"

Set information = CreateObject("NBLHandleDLL.Information")
Check information.GetVersion() = 104, "GetVersion"

On Error Resume Next
handle.NoSuchMethod
Check Err.Number = 438, "an unknown method raises error 438, not " & Err.Number
Err.Clear
result = handle.SetPath(Array(1, 2))
Check Err.Number = 13, "a path that is no text raises a type mismatch, not " & Err.Number
On Error GoTo 0

WScript.Echo "done"
