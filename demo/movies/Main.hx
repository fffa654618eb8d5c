// The demo course's movie, main.swf: Lesson 1 "Greetings" of a small English course.
// It draws its whole interface and reaches every service of the shell by a click:
// sounds and the voice recorder (fscommand), the note and the settings (ExternalInterface),
// the resource picker and manager, documents and the lesson movie, the window itself.
//
// Text is drawn with embedded fonts so that it looks the same on every player: Latin text
// with DejaVu Sans, Chinese with Droid Sans Fallback. Only the characters listed in the
// Han font's range are embedded: every Chinese character used in this file must be there
// (the course's tests check it).
import flash.Lib;
import flash.display.Shape;
import flash.display.Sprite;
import flash.events.MouseEvent;
import flash.external.ExternalInterface;
import flash.text.Font;
import flash.text.TextField;
import flash.text.TextFieldAutoSize;
import flash.text.TextFieldType;
import flash.text.TextFormat;

@:font("dejavu/DejaVuSans.ttf", " -~·") class SansFont extends Font {}
@:font("dejavu/DejaVuSans-Bold.ttf", " -~") class BoldFont extends Font {}
@:font("droid/DroidSansFallbackFull.ttf", " 你好！我叫莉。很高兴认识今天吗？，谢开始说对比访问次数快乐英语第一课候主题听播放练习跟读原音录等待回关闭笔记保存取设置拖动资源选择管理打文单词表画") class HanFont extends Font {}

// Fonts and the one way this movie makes a text field.
class Text {
	public static var sans:String;
	public static var bold:String;
	public static var han:String;

	public static function init() {
		Font.registerFont(SansFont);
		Font.registerFont(BoldFont);
		Font.registerFont(HanFont);
		sans = new SansFont().fontName;
		bold = new BoldFont().fontName;
		han = new HanFont().fontName;
	}

	static function escape(s:String):String {
		return StringTools.htmlEscape(s);
	}

	// English text, optionally followed by its Chinese label in a smaller size.
	public static function html(en:String, zh:String, size:Int, color:Int, strong = false):String {
		var c = "#" + StringTools.hex(color, 6);
		var s = '<font face="' + (strong ? bold : sans) + '" size="' + size + '" color="' + c + '">' + escape(en) + '</font>';
		if (zh != null && zh != "") {
			s += '<font face="' + sans + '" size="' + size + '"> </font>';
			s += '<font face="' + han + '" size="' + Std.int(size * 0.9) + '" color="' + c + '">' + escape(zh) + '</font>';
		}
		return s;
	}

	// Chinese text alone.
	public static function hanHtml(zh:String, size:Int, color:Int):String {
		return '<font face="' + han + '" size="' + size + '" color="#' + StringTools.hex(color, 6) + '">' + escape(zh) + '</font>';
	}

	public static function field(x:Float, y:Float, w:Float, h:Float):TextField {
		var t = new TextField();
		t.embedFonts = true;
		t.selectable = false;
		t.mouseEnabled = false;
		t.x = x;
		t.y = y;
		t.width = w;
		t.height = h;
		t.defaultTextFormat = new TextFormat(sans, 14, 0x1B2A3A);
		return t;
	}

	public static function label(parent:Sprite, x:Float, y:Float, w:Float, en:String, zh:String, size:Int, color:Int,
			strong = false):TextField {
		var t = field(x, y, w, size * 2);
		t.htmlText = html(en, zh, size, color, strong);
		parent.addChild(t);
		return t;
	}
}

// A flat button: a rounded face with a label; lighter under the mouse.
class Button extends Sprite {
	var face:Shape;
	var caption:TextField;
	var w:Int;
	var h:Int;
	var color:Int;
	var over = false;
	var en:String;
	var zh:String;

	public function new(parent:Sprite, x:Float, y:Float, w:Int, h:Int, en:String, zh:String, color:Int, onClick:Void->Void) {
		super();
		this.x = x;
		this.y = y;
		this.w = w;
		this.h = h;
		this.color = color;
		face = new Shape();
		addChild(face);
		caption = Text.field(0, 0, w, h);
		addChild(caption);
		buttonMode = true;
		useHandCursor = true;
		mouseChildren = false;
		setLabel(en, zh);
		addEventListener(MouseEvent.ROLL_OVER, function(_) {
			over = true;
			draw();
		});
		addEventListener(MouseEvent.ROLL_OUT, function(_) {
			over = false;
			draw();
		});
		addEventListener(MouseEvent.CLICK, function(_) onClick());
		parent.addChild(this);
	}

	public function setLabel(en:String, zh:String) {
		this.en = en;
		this.zh = zh;
		caption.htmlText = '<p align="center">' + Text.html(en, zh, 14, 0xFFFFFF) + '</p>';
		caption.y = (h - caption.textHeight) / 2 - 3;
		draw();
	}

	public function setColor(c:Int) {
		color = c;
		draw();
	}

	static function lighter(c:Int):Int {
		var r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
		r += Std.int((255 - r) * 0.25);
		g += Std.int((255 - g) * 0.25);
		b += Std.int((255 - b) * 0.25);
		return (r << 16) | (g << 8) | b;
	}

	// Colour -1: a see-through face for the title strip.
	function draw() {
		var gr = face.graphics;
		gr.clear();
		if (color < 0) {
			gr.beginFill(0xFFFFFF, over ? 0.28 : 0.1);
		} else {
			gr.beginFill(over ? lighter(color) : color);
		}
		gr.drawRoundRect(0, 0, w, h, 8, 8);
		gr.endFill();
	}
}

// A sentence of the lesson with its sound file below the program folder.
typedef Sentence = {en:String, zh:String, sound:String};

class Main {
	static inline var W = 1024;
	static inline var H = 652;
	static inline var STRIP = 48;
	static inline var BLUE = 0x2F75B5;
	static inline var INK = 0x1B2A3A;
	static inline var MUTED = 0x5B6B7B;

	// Below the program folder: the course's sub-path (its resources are in
	// lesson1/resource), the note and the settings keys.
	static inline var COURSE = "lesson1/";
	static inline var NOTE = "notes/my_note.txt";
	static inline var VISITS_KEY = "quillmere_demo_visits";
	static inline var THEME_KEY = "quillmere_demo_theme";

	static var sentences:Array<Sentence> = [
		{en: "Hello! My name is Lily.", zh: "你好！我叫莉莉。", sound: "lesson1/sounds/s1.wav"},
		{en: "Nice to meet you.", zh: "很高兴认识你。", sound: "lesson1/sounds/s2.wav"},
		{en: "How are you today?", zh: "你今天好吗？", sound: "lesson1/sounds/s3.wav"},
		{en: "I'm fine, thank you.", zh: "我很好，谢谢。", sound: "lesson1/sounds/s4.wav"},
	];
	static var themes = [0x1F4E79, 0x2E6B3A];

	static var root:Sprite;
	static var strip:Sprite;
	static var theme = 0;
	static var maximized = false;
	static var dragOn = true;
	static var practise = 0;

	static var maxButton:Button;
	static var themeButton:Button;
	static var dragButton:Button;
	static var practiseText:TextField;
	static var speakState:TextField;
	static var mic:Shape;
	static var noteInput:TextField;
	static var noteState:TextField;
	static var visitsText:TextField;
	static var pickedText:TextField;
	static var logText:TextField;
	static var appDirText:TextField;
	static var log:Array<String> = [];

	static function main() {
		Text.init();
		root = Lib.current;
		drawBackground();
		buildTitleStrip();
		buildListen(16, 60);
		buildSpeak(16, 322);
		buildNote(520, 60);
		buildSettings(520, 190);
		buildResources(520, 320);
		buildOpen(520, 438);
		buildLog(16, 566);

		if (ExternalInterface.available) {
			ExternalInterface.addCallback("DelphiCallBack", onShellEvent);
			ExternalInterface.addCallback("onPicked", onPicked);
		}
		start();
	}

	// --- Talking to the shell ----------------------------------------------------------

	static function command(name:String, arg:String) {
		note("fscommand " + name + (arg == "" ? "" : " \"" + arg + "\""));
		Lib.fscommand(name, arg);
	}

	static function call(name:String, ?a:String, ?b:String):Dynamic {
		if (!ExternalInterface.available) return null;
		if (b != null) return ExternalInterface.call(name, a, b);
		if (a != null) return ExternalInterface.call(name, a);
		return ExternalInterface.call(name);
	}

	static function text(v:Dynamic):String {
		return v == null ? "" : Std.string(v);
	}

	static function note(line:String) {
		log.push(line);
		while (log.length > 3) log.shift();
		logText.htmlText = [for (l in log) Text.html(l, null, 12, 0xDDE7F0)].join("<br>");
	}

	// The recorder's events ("canspeak", "playrecordover") come back through here.
	static function onShellEvent(event:String, data:String):String {
		note("DelphiCallBack(\"" + event + "\", \"" + text(data) + "\")");
		if (event == "canspeak") {
			setMic(0xD83B3B);
			speakState.htmlText = Text.html("canspeak: speak now, then press Stop & compare.", "开始说", 14, 0xB02020, true);
		} else if (event == "playrecordover") {
			setMic(0x3A9A4A);
			speakState.htmlText = Text.html("playrecordover: your recording has played. Compare it with the source.", "对比",
				14, 0x2E6B3A, true);
		}
		return "";
	}

	// The resource picker reports the chosen file ("selectedover", path below AppDir).
	static function onPicked(event:String, path:String):String {
		note("onPicked(\"" + event + "\", \"" + text(path) + "\")");
		if (event == "selectedover") {
			pickedText.htmlText = Text.html(text(path) == "" ? "selectedover: (nothing selected)" : "selectedover: " + path, null,
				13, INK);
		}
		return "";
	}

	static function start() {
		// A setting remembered across runs: how often the course was opened.
		var visits = Std.parseInt(text(call("loadreg", VISITS_KEY)));
		if (visits == null) visits = 0;
		visits++;
		call("savereg", VISITS_KEY, Std.string(visits));
		visitsText.htmlText = Text.html("Visits to this course: " + visits, "访问次数", 14, INK);

		var saved = Std.parseInt(text(call("loadreg", THEME_KEY)));
		applyTheme(saved == 1 ? 1 : 0);

		var dir = text(call("getAppDir"));
		appDirText.htmlText = Text.html("Program folder: " + (dir == "" ? "(no shell)" : dir), null, 11, 0x9FB3C6);

		choosePractise(0);
	}

	// --- The interface ------------------------------------------------------------------

	static function drawBackground() {
		var bg = new Shape();
		bg.graphics.beginFill(0xEEF3F8);
		bg.graphics.drawRect(0, 0, W, H);
		bg.graphics.endFill();
		root.addChild(bg);
	}

	static function card(x:Float, y:Float, w:Float, h:Float, en:String, zh:String):Sprite {
		var s = new Sprite();
		s.x = x;
		s.y = y;
		s.graphics.lineStyle(1, 0xC9D6E3);
		s.graphics.beginFill(0xFFFFFF);
		s.graphics.drawRoundRect(0, 0, w, h, 10, 10);
		s.graphics.endFill();
		s.graphics.lineStyle();
		s.graphics.beginFill(BLUE);
		s.graphics.drawRect(0, 12, 4, 20);
		s.graphics.endFill();
		Text.label(s, 12, 8, w - 24, en, zh, 16, INK, true);
		root.addChild(s);
		return s;
	}

	static function buildTitleStrip() {
		// Pressing the mouse on the strip drags the borderless window.
		strip = new Sprite();
		root.addChild(strip);
		strip.addEventListener(MouseEvent.MOUSE_DOWN, function(_) {
			note("ExternalInterface DragingWindow");
			call("DragingWindow");
		});
		var title = Text.field(16, 6, 700, 40);
		title.htmlText = Text.html("Quillmere English", "快乐英语", 20, 0xFFFFFF, true)
			+ Text.html("   Lesson 1 · Greetings", "第一课 问候", 14, 0xD6E4F0);
		root.addChild(title);

		// Window buttons: siblings of the strip, so that pressing them does not drag.
		var minButton = new Button(root, W - 138, 8, 40, 32, "", null, -1, function() command("minimized", ""));
		icon(minButton, 0);
		maxButton = new Button(root, W - 94, 8, 40, 32, "", null, -1, toggleMaximized);
		icon(maxButton, 1);
		var closeButton = new Button(root, W - 50, 8, 40, 32, "", null, 0xC0392B, function() command("exitprogram", ""));
		icon(closeButton, 2);
	}

	// Window button icons: 0 minimise, 1 maximise, 2 close, 3 restore.
	static function icon(b:Button, kind:Int) {
		var s:Shape = cast b.getChildByName("icon");
		if (s == null) {
			s = new Shape();
			s.name = "icon";
			b.addChild(s);
		}
		var g = s.graphics;
		g.clear();
		g.lineStyle(2, 0xFFFFFF);
		switch (kind) {
			case 0:
				g.moveTo(13, 21);
				g.lineTo(27, 21);
			case 1:
				g.drawRect(13, 9, 14, 13);
			case 2:
				g.moveTo(14, 10);
				g.lineTo(26, 22);
				g.moveTo(26, 10);
				g.lineTo(14, 22);
			default:
				g.drawRect(12, 12, 11, 10);
				g.moveTo(16, 12);
				g.lineTo(16, 8);
				g.lineTo(28, 8);
				g.lineTo(28, 18);
				g.lineTo(23, 18);
		}
	}

	static function toggleMaximized() {
		maximized = !maximized;
		command(maximized ? "maximized" : "normal", "");
		icon(maxButton, maximized ? 3 : 1);
	}

	static function applyTheme(t:Int) {
		theme = t;
		var g = strip.graphics;
		g.clear();
		g.beginFill(themes[t]);
		g.drawRect(0, 0, W, STRIP);
		g.endFill();
		if (themeButton != null) themeButton.setLabel(t == 0 ? "Theme: Blue" : "Theme: Green", "主题");
	}

	static function playIcon(b:Button) {
		var s = new Shape();
		s.graphics.beginFill(0xFFFFFF);
		s.graphics.moveTo(10, 8);
		s.graphics.lineTo(20, 15);
		s.graphics.lineTo(10, 22);
		s.graphics.endFill();
		b.addChild(s);
	}

	static function buildListen(x:Float, y:Float) {
		var c = card(x, y, 488, 250, "Listen", "听一听");
		for (i in 0...sentences.length) {
			var s = sentences[i];
			var row = 44 + i * 50;
			var play = new Button(c, 12, row + 4, 86, 30, "   Play", "播放", BLUE, function() command("audio", s.sound));
			playIcon(play);
			Text.label(c, 108, row - 1, 280, s.en, null, 15, INK);
			var zh = Text.field(108, row + 20, 270, 22);
			zh.htmlText = Text.hanHtml(s.zh, 13, MUTED);
			c.addChild(zh);
			new Button(c, 380, row + 4, 96, 30, "Practise", "练习", 0x5B8DB8, function() choosePractise(i));
		}
	}

	static function choosePractise(i:Int) {
		practise = i;
		practiseText.htmlText = Text.html("Sentence " + (i + 1) + ": " + sentences[i].en, null, 15, INK, true);
		// The source sound the recording is compared with.
		command("recording", sentences[i].sound);
		setMic(0xB8C4D0);
		speakState.htmlText = Text.html("Press Record, wait for canspeak, then say the sentence.", "跟读", 14, MUTED);
	}

	static function setMic(color:Int) {
		var g = mic.graphics;
		g.clear();
		g.beginFill(color);
		g.drawCircle(10, 10, 10);
		g.endFill();
		g.beginFill(0xFFFFFF);
		g.drawRoundRect(7, 4, 6, 10, 6, 6);
		g.endFill();
	}

	static function buildSpeak(x:Float, y:Float) {
		var c = card(x, y, 488, 232, "Speak & compare", "跟读对比");
		practiseText = Text.field(12, 40, 464, 26);
		c.addChild(practiseText);
		mic = new Shape();
		mic.x = 12;
		mic.y = 80;
		c.addChild(mic);
		speakState = Text.field(40, 74, 436, 50);
		speakState.multiline = true;
		speakState.wordWrap = true;
		c.addChild(speakState);
		var s = function() return sentences[practise].sound;
		new Button(c, 12, 134, 92, 34, "Source", "原音", BLUE, function() {
			command("recording", s());
			command("playsrcsound", "");
		});
		new Button(c, 112, 134, 92, 34, "Record", "录音", 0xC0392B, function() {
			// "audio" forgets the source sound: name it again before every recording.
			command("recording", s());
			command("beginrecord", "");
			setMic(0xE8A33B);
			speakState.htmlText = Text.html("Recording... wait for canspeak.", "等待", 14, 0xA0601A, true);
		});
		new Button(c, 212, 134, 168, 34, "Stop & compare", "对比", 0x2E6B3A, function() {
			command("stopandplayrecord", "");
			speakState.htmlText = Text.html("Playing your recording back...", "回放", 14, INK);
		});
		new Button(c, 388, 134, 88, 34, "Close", "关闭", 0x6C7A89, function() {
			command("closerecord", "");
			setMic(0xB8C4D0);
			speakState.htmlText = Text.html("Recorder closed.", "关闭", 14, MUTED);
		});
		var about = Text.label(c, 12, 182, 464, "Your voice is recorded to Temp.wav in the program folder and played back from 0.75 s, after canspeak.", null, 12, MUTED);
		about.wordWrap = true;
		about.height = 40;
	}

	static function buildNote(x:Float, y:Float) {
		var c = card(x, y, 488, 118, "My note", "笔记");
		noteInput = new TextField();
		noteInput.type = TextFieldType.INPUT;
		noteInput.embedFonts = true;
		noteInput.defaultTextFormat = new TextFormat(Text.sans, 15, INK);
		noteInput.border = true;
		noteInput.borderColor = 0xA9B8C8;
		noteInput.background = true;
		noteInput.backgroundColor = 0xFAFCFE;
		noteInput.x = 12;
		noteInput.y = 42;
		noteInput.width = 270;
		noteInput.height = 28;
		noteInput.maxChars = 120;
		noteInput.text = "Hello means ni hao.";
		c.addChild(noteInput);
		new Button(c, 292, 40, 88, 32, "Save", "保存", BLUE, saveNote);
		new Button(c, 388, 40, 88, 32, "Load", "读取", 0x5B8DB8, loadNote);
		noteState = Text.field(12, 80, 464, 24);
		c.addChild(noteState);
		noteState.htmlText = Text.html("Saved below the program folder as " + NOTE, null, 12, MUTED);
	}

	static function saveNote() {
		note("ExternalInterface savefile " + NOTE);
		var ok = call("savefile", NOTE, noteInput.text);
		noteState.htmlText = Text.html(ok == true ? "Saved to " + NOTE : "The note was not saved.", null, 13, ok == true ? 0x2E6B3A : 0xB02020);
	}

	static function loadNote() {
		note("ExternalInterface fileexists/loadfile " + NOTE);
		if (call("fileexists", NOTE) != true) {
			noteState.htmlText = Text.html("No note saved yet: press Save first.", null, 13, 0xB02020);
			return;
		}
		var line = text(call("loadfile", NOTE));
		noteInput.text = line;
		noteState.htmlText = Text.html("Loaded from " + NOTE + ": \"" + line + "\"", null, 13, 0x2E6B3A);
	}

	static function buildSettings(x:Float, y:Float) {
		var c = card(x, y, 488, 118, "Settings", "设置");
		visitsText = Text.field(12, 40, 464, 24);
		c.addChild(visitsText);
		themeButton = new Button(c, 12, 72, 150, 32, "Theme: Blue", "主题", BLUE, function() {
			applyTheme(1 - theme);
			note("ExternalInterface savereg " + THEME_KEY + " " + theme);
			call("savereg", THEME_KEY, Std.string(theme));
		});
		dragButton = new Button(c, 170, 72, 150, 32, "Drag: on", "拖动", 0x5B8DB8, function() {
			dragOn = !dragOn;
			note("ExternalInterface " + (dragOn ? "enableDragWindow" : "disableDragWindow"));
			call(dragOn ? "enableDragWindow" : "disableDragWindow");
			dragButton.setLabel(dragOn ? "Drag: on" : "Drag: off", "拖动");
		});
		var about = Text.label(c, 330, 70, 150, "Both are kept by the shell's settings store.", null, 11, MUTED);
		about.wordWrap = true;
		about.height = 40;
	}

	static function buildResources(x:Float, y:Float) {
		var c = card(x, y, 488, 106, "Resources", "资源");
		new Button(c, 12, 40, 200, 32, "Choose a resource", "选择资源", BLUE, function() command("selectresource", COURSE + "@@@onPicked"));
		new Button(c, 220, 40, 200, 32, "Resource manager", "资源管理", 0x5B8DB8, function() command("otherresource", COURSE));
		pickedText = Text.field(12, 78, 464, 24);
		c.addChild(pickedText);
		pickedText.htmlText = Text.html("selectedover: (nothing chosen yet)", null, 13, MUTED);
	}

	static function buildOpen(x:Float, y:Float) {
		var c = card(x, y, 488, 116, "Open", "打开");
		new Button(c, 12, 40, 150, 32, "Lesson text", "课文", BLUE, function() command("exec", "lesson1/lesson1.html"));
		new Button(c, 170, 40, 150, 32, "Word list", "单词表", BLUE, function() command("exec", "lesson1/words.txt"));
		new Button(c, 328, 40, 148, 32, "Lesson movie", "动画", 0x2E6B3A, function() command("exec", "lesson1/intro.swf"));
		Text.label(c, 12, 80, 464, "Documents open in their own program; movies in FlashPlayer.exe.", null, 12, MUTED);
	}

	static function buildLog(x:Float, y:Float) {
		var c = new Sprite();
		c.x = x;
		c.y = y;
		c.graphics.beginFill(0x223344);
		c.graphics.drawRoundRect(0, 0, 992, 76, 10, 10);
		c.graphics.endFill();
		root.addChild(c);
		logText = Text.field(12, 4, 968, 52);
		logText.multiline = true;
		c.addChild(logText);
		appDirText = Text.field(12, 54, 968, 20);
		c.addChild(appDirText);
		note("Lesson 1 is ready.");
	}
}
