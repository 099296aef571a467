// A JScript host of the KEDO_COM component.
//   cscript //nologo com_host.js WAV SENTENCE LISTFILE MISSINGWAV
// The same checks as com_host.vbs; the last line is "js result: ok" or
// "js result: FAIL" and the exit status follows.
var args = WScript.Arguments;
var failed = false;

var kedo = new ActiveXObject("KEDO_COM.KEDO");
kedo.SwitchLanguage(0);
var score = kedo.Assess(args(0), args(1));
WScript.Echo("score=" + score);
var sentence = kedo.Recog(args(0), args(2));
WScript.Echo("sentence=" + sentence);
if (typeof score !== "number" || typeof sentence !== "string") {
    WScript.Echo("unexpected result types: " + typeof score + ", " + typeof sentence);
    failed = true;
}

var number = 0, description = "";
try {
    kedo.Assess(args(3), args(1));
} catch (e) {
    number = e.number;
    description = e.description;
}
WScript.Echo("error=" + description);
if ((number >>> 0) !== 0x80040201 || description.indexOf("(line ") < 0) {
    WScript.Echo("expected error 80040201 with the engine's message, got " + (number >>> 0).toString(16));
    failed = true;
}

kedo.SwitchLanguage(0);
kedo = null;

WScript.Echo(failed ? "js result: FAIL" : "js result: ok");
WScript.Quit(failed ? 1 : 0);
