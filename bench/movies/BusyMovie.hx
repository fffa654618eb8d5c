// A still screen whose every frame keeps the player busy for 12 ms (a script with work
// to do, and nothing to show). Reports "ready", then after two seconds of standing still
// "frames" with the number of frames it ran in the next four seconds. Compiled with
// -D cheap its frames cost nothing: the same count for a movie that is easy to pace.
import flash.Lib;
import flash.display.Sprite;
import flash.events.Event;

class BusyMovie {
	static function main() {
		var card = new Sprite();
		card.graphics.beginFill(0x3060a0);
		card.graphics.drawRect(20, 20, 200, 100);
		Lib.current.addChild(card);
		var frames = 0;
		Lib.current.addEventListener(Event.ENTER_FRAME, function(_) {
			frames++;
			var start = Date.now().getTime();
			#if !cheap
			while (Date.now().getTime() - start < 12) {}
			#end
		});
		Lib.fscommand("ready", "");
		haxe.Timer.delay(function() {
			var before = frames;
			haxe.Timer.delay(function() Lib.fscommand("frames", Std.string(frames - before)), 4000);
		}, 2000);
	}
}
