// The movie side of the resource picker's end-to-end test: once its callback is in
// place it asks for the picker with fscommand("selectresource"), and reports what the
// picker calls back with as fscommand("picked", event + "|" + path).
import flash.Lib;
import flash.external.ExternalInterface;

class ResourcePick {
	static function main() {
		ExternalInterface.addCallback("onPicked", function(event:String, path:String):String {
			Lib.fscommand("picked", event + "|" + path);
			return "thanks";
		});
		haxe.Timer.delay(function() Lib.fscommand("selectresource", "lesson3/@@@onPicked"), 300);
	}
}
