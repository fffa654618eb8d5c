// An ActionScript 3 course movie for the course check: at start it asks for a file that
// is not there, plays a sound that is not there, and uses features of the Flash API that
// the player does not support, then shows a line of text.
import flash.Lib;
import flash.external.ExternalInterface;
import flash.system.System;
import flash.text.TextField;

class CheckAs3 {
	static function main() {
		var t = new TextField();
		t.text = "course check";
		Lib.current.addChild(t);
		ExternalInterface.call("loadfile", "data/as3_absent.txt");
		Lib.fscommand("audio", "sound/as3_missing.mp3");
		System.gc();
		System.pauseForGCIfCollectionImminent(0.5);
	}
}
