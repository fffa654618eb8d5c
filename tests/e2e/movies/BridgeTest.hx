// The ActionScript 3 side of the Flash control's end-to-end test: calls the shell's
// ExternalInterface commands, checks each reply itself and reports every check through
// fscommand("check", "name|ok|value") or "name|FAIL|value"; values only the host knows
// go back as fscommand("value", "name|value").
import flash.Lib;
import flash.events.MouseEvent;
import flash.external.ExternalInterface;
import flash.text.TextField;
import flash.text.TextFormat;

class BridgeTest {
	static function describe(v:Dynamic):String {
		if (v == null) return "null";
		if (Std.isOfType(v, String)) return "string:" + v;
		if (Std.isOfType(v, Bool)) return "boolean:" + v;
		if (Std.isOfType(v, Float)) return "number:" + v;
		return "other:" + Std.string(v);
	}

	static function check(name:String, got:Dynamic, want:String) {
		var d = describe(got);
		Lib.fscommand("check", name + "|" + (d == want ? "ok" : "FAIL") + "|" + d);
	}

	static function value(name:String, got:Dynamic) {
		Lib.fscommand("value", name + "|" + describe(got));
	}

	static function callback(e:String, d:String):String {
		Lib.fscommand("callback", e + "|" + d);
		return "got " + e;
	}

	// `count` loadfile calls; the total in milliseconds is reported.
	static function bench(count:Int):Int {
		var start = Lib.getTimer();
		for (i in 0...count) ExternalInterface.call("loadfile", "data/a.txt");
		return Lib.getTimer() - start;
	}

	static function main() {
		var stage = Lib.current.stage;
		var label = new TextField();
		label.defaultTextFormat = new TextFormat("_sans", 40, 0x000000);
		label.width = 300;
		label.height = 80;
		label.text = "中文课程";
		Lib.current.addChild(label);
		var latin = new TextField();
		latin.defaultTextFormat = new TextFormat("_sans", 40, 0x000000);
		latin.y = 90;
		latin.width = 300;
		latin.height = 80;
		latin.text = "English";
		Lib.current.addChild(latin);
		stage.addEventListener(MouseEvent.MOUSE_DOWN, function(_) Lib.fscommand("mouse", "left"));
		stage.addEventListener(MouseEvent.RIGHT_MOUSE_DOWN, function(_) Lib.fscommand("mouse", "right"));

		ExternalInterface.addCallback("DelphiCallBack", callback);
		ExternalInterface.addCallback("pickerCallback", callback);
		ExternalInterface.addCallback("bench", bench);
		ExternalInterface.addCallback("echo", function(v:Dynamic):Dynamic return v);

		Lib.fscommand("step", "1");
		check("loadfile", ExternalInterface.call("loadfile", "data/a.txt"), "string:hello 中文");
		Lib.fscommand("step", "2");
		check("loadfile missing", ExternalInterface.call("loadfile", "data/none.txt"), "string:");
		check("fileexists", ExternalInterface.call("fileexists", "data/a.txt"), "boolean:true");
		check("fileexists missing", ExternalInterface.call("fileexists", "data/none.txt"), "boolean:false");
		check("savefile", ExternalInterface.call("savefile", "data/new/b.txt", "a<b & c>d"), "boolean:true");
		check("loadfile escapes", ExternalInterface.call("loadfile", "data/new/b.txt"), "string:a<b & c>d");
		check("saveToUTF8", ExternalInterface.call("saveToUTF8", "data/c.txt", "</string>x"), "boolean:true");
		check("loadfile closing tag", ExternalInterface.call("loadfile", "data/c.txt"), "string:</string>x");
		check("saveBytes", ExternalInterface.call("saveBytes", "data/d.txt", "bytes"), "boolean:true");
		check("loadBytes", ExternalInterface.call("loadBytes", "data/d.txt"), "string:bytes");
		check("newfolder", ExternalInterface.call("newfolder", "data/folder/sub"), "boolean:true");
		check("savereg", ExternalInterface.call("savereg", "lesson", "7"), "boolean:true");
		check("loadreg", ExternalInterface.call("loadreg", "lesson"), "string:7");
		value("getAppDir", ExternalInterface.call("getAppDir"));
		check("enableDragWindow", ExternalInterface.call("enableDragWindow"), "null");
		check("disableDragWindow", ExternalInterface.call("disableDragWindow"), "null");
		check("DragingWindow", ExternalInterface.call("DragingWindow"), "null");
		check("unknown name", ExternalInterface.call("no.such.command", "x"), "null");
		value("typed arguments", ExternalInterface.call("typed", "s", 2.5, true, null, [1, "two"], {k: "v"}));
		check("number reply", ExternalInterface.call("number"), "number:12.5");
		check("reenter", ExternalInterface.call("reenter"), "string:after");
		value("stage", stage.scaleMode + " " + stage.align);
		Lib.fscommand("modal", "");
		Lib.fscommand("done", "as3");
	}
}
