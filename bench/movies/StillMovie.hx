// A course-like screen that is drawn once and then stands still: shapes, a gradient,
// Latin and Chinese device text. Reports "ready" through fscommand on its first frame
// and "drawn" on the next one.
import flash.Lib;
import flash.display.GradientType;
import flash.display.Sprite;
import flash.events.Event;
import flash.geom.Matrix;
import flash.text.TextField;
import flash.text.TextFormat;

class StillMovie {
	static function main() {
		var root = Lib.current;
		var bar = new Sprite();
		var m = new Matrix();
		m.createGradientBox(1024, 80);
		bar.graphics.beginGradientFill(GradientType.LINEAR, [0x2050a0, 0x80b0ff], [1, 1], [0, 255], m);
		bar.graphics.drawRect(0, 0, 1024, 80);
		root.addChild(bar);
		for (i in 0...12) {
			var card = new Sprite();
			card.graphics.lineStyle(2, 0x404040);
			card.graphics.beginFill(0xf0e0c0 + i * 0x10);
			card.graphics.drawRoundRect(0, 0, 220, 110, 16, 16);
			card.x = 30 + (i % 4) * 245;
			card.y = 110 + Std.int(i / 4) * 170;
			root.addChild(card);
			var t = new TextField();
			t.defaultTextFormat = new TextFormat("_sans", 20, 0x202020);
			t.width = 200;
			t.text = "Unit " + (i + 1) + " 第" + (i + 1) + "课";
			t.x = 10;
			t.y = 10;
			card.addChild(t);
		}
		var title = new TextField();
		title.defaultTextFormat = new TextFormat("_sans", 36, 0xffffff);
		title.width = 600;
		title.text = "English Course 英语课程";
		title.x = 20;
		title.y = 18;
		root.addChild(title);
		Lib.fscommand("ready", "");
		var frames = 0;
		root.addEventListener(Event.ENTER_FRAME, function(_) {
			if (++frames == 2) Lib.fscommand("drawn", "");
		});
	}
}
