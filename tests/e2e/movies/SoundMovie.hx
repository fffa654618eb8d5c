// A movie that is silent for three seconds, then plays a spoken sentence by itself (no
// click) and reports "played" through fscommand.
import flash.Lib;

@:sound("spoken.wav") class Spoken extends flash.media.Sound {}

class SoundMovie {
	static function main() {
		haxe.Timer.delay(function() {
			new Spoken().play();
			Lib.fscommand("played", "");
		}, 3000);
	}
}
