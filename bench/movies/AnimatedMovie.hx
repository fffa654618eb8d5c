// A shape that turns every frame, for checking that a moving movie keeps being drawn.
import flash.Lib;
import flash.display.Sprite;
import flash.events.Event;

class AnimatedMovie {
	static function main() {
		var root = Lib.current;
		var arm = new Sprite();
		arm.graphics.beginFill(0x000000);
		arm.graphics.drawRect(-150, -20, 300, 40);
		arm.x = 200;
		arm.y = 200;
		root.addChild(arm);
		Lib.fscommand("ready", "");
		root.addEventListener(Event.ENTER_FRAME, function(_) arm.rotation += 7);
	}
}
