// The demo course's lesson movie, lesson1/intro.swf: a short greeting scene that the
// standalone player shows. Two friends wave and greet each other, line after line.
// "Close" asks the player to quit (the standalone player's "quit" command).
import flash.Lib;
import flash.display.Shape;
import flash.display.Sprite;
import flash.events.Event;
import flash.events.MouseEvent;
import flash.text.Font;
import flash.text.TextField;
import flash.text.TextFormat;
import flash.text.TextFormatAlign;

@:font("dejavu/DejaVuSans-Bold.ttf", " -~") class LessonFont extends Font {}

class Lesson {
	static inline var W = 640;
	static inline var H = 400;

	static var lines = [
		"Lily: Hello! My name is Lily.",
		"Tom: Hi, Lily! I'm Tom.",
		"Lily: Nice to meet you, Tom.",
		"Tom: Nice to meet you, too.",
		"Lily: How are you today?",
		"Tom: I'm fine, thank you.",
	];

	static var font:String;

	static function text(size:Int, color:Int, w:Float):TextField {
		var t = new TextField();
		t.embedFonts = true;
		t.selectable = false;
		t.mouseEnabled = false;
		var f = new TextFormat(font, size, color);
		f.align = TextFormatAlign.CENTER;
		t.defaultTextFormat = f;
		t.width = w;
		t.height = size * 1.6;
		return t;
	}

	static function person(x:Float, color:Int):Sprite {
		var p = new Sprite();
		p.x = x;
		p.y = 250;
		var g = p.graphics;
		g.beginFill(color);
		g.drawRoundRect(-30, 0, 60, 90, 24, 24);
		g.endFill();
		g.beginFill(0xF6D2B0);
		g.drawCircle(0, -22, 26);
		g.endFill();
		g.beginFill(0x333333);
		g.drawCircle(-9, -26, 3);
		g.drawCircle(9, -26, 3);
		g.endFill();
		g.lineStyle(2, 0x8A3B2A);
		g.moveTo(-8, -12);
		g.curveTo(0, -5, 8, -12);
		return p;
	}

	static function main() {
		Font.registerFont(LessonFont);
		font = new LessonFont().fontName;
		var root = Lib.current;

		var sky = new Shape();
		sky.graphics.beginFill(0xBFE3F7);
		sky.graphics.drawRect(0, 0, W, H);
		sky.graphics.endFill();
		sky.graphics.beginFill(0x8CCB6E);
		sky.graphics.drawRect(0, 330, W, 70);
		sky.graphics.endFill();
		root.addChild(sky);

		var sun = new Shape();
		sun.graphics.beginFill(0xFFD34D);
		sun.graphics.drawCircle(0, 0, 34);
		sun.graphics.endFill();
		sun.y = 70;
		root.addChild(sun);

		var title = text(24, 0x1F4E79, W);
		title.y = 14;
		title.text = "Lesson 1 - Greetings";
		root.addChild(title);

		var lily = person(200, 0xD9577A);
		var tom = person(440, 0x3D7CC9);
		root.addChild(lily);
		root.addChild(tom);

		var bubble = new Sprite();
		bubble.graphics.beginFill(0xFFFFFF);
		bubble.graphics.drawRoundRect(0, 0, 480, 56, 20, 20);
		bubble.graphics.endFill();
		bubble.x = 80;
		bubble.y = 120;
		root.addChild(bubble);
		var said = text(18, 0x1B2A3A, 480);
		said.y = 14;
		bubble.addChild(said);

		var close = new Sprite();
		close.graphics.beginFill(0x1F4E79);
		close.graphics.drawRoundRect(0, 0, 90, 32, 10, 10);
		close.graphics.endFill();
		close.x = W - 104;
		close.y = H - 44;
		close.buttonMode = true;
		close.mouseChildren = false;
		var closeText = text(14, 0xFFFFFF, 90);
		closeText.y = 6;
		closeText.text = "Close";
		close.addChild(closeText);
		close.addEventListener(MouseEvent.CLICK, function(_) Lib.fscommand("quit", ""));
		root.addChild(close);

		var frame = 0;
		root.addEventListener(Event.ENTER_FRAME, function(_) {
			frame++;
			sun.x = 40 + (frame * 1.5) % (W - 80);
			var line = Std.int(frame / 72) % lines.length;
			said.text = lines[line];
			var speaker = StringTools.startsWith(lines[line], "Lily") ? lily : tom;
			var other = speaker == lily ? tom : lily;
			speaker.y = 250 - Math.abs(Math.sin(frame / 6)) * 10;
			other.y = 250;
		});
	}
}
