// A JScript host of NBLinout.dll: a whole export of a diary store, then a whole import
// of that document into an empty store, under Japanese file names. cscript reads a
// script in the ANSI code page, so the names are written with \u escapes.
// The folder "nikki", the store "nikkichou.db", the document "kakidashi.xml" and the
// store it is imported into, "yomikomisaki.db", all in kanji and kana.
var folder = WScript.Arguments(0) + "\\\u65e5\u8a18\\";
var store = folder + "\u65e5\u8a18\u5e33.db";
var document = folder + "\u66f8\u304d\u51fa\u3057.xml";
var target = folder + "\u8aad\u307f\u8fbc\u307f\u5148.db";

function check(ok, what) {
  if (!ok) {
    WScript.Echo("failed: " + what);
    WScript.Quit(1);
  }
}

var handle = new ActiveXObject("NBLHandleDLL.clsNubeloHandle");
check(handle.Initialize(store) === true, "Initialize with the store");
handle.SetExport();
check(handle.SetPath(document, true) === true, "SetPath of the export");
check(handle.Execute() === false, "Execute answers False");

check(handle.Initialize(target) === true, "Initialize with the import's store");
handle.SetImport();
check(handle.SetPath(document) === true, "SetPath of the import");
handle.Execute();
WScript.Echo("done");
