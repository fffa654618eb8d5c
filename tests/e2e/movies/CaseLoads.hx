// The movie side of the course-paths test: it loads a sub-movie, an XML file and a
// picture by relative URLs whose letter case differs from the files on disk, and one
// XML file that only the learner's layer holds, and reports each outcome as
// fscommand("loaded", what + "|" + outcome), outcome "ok:<detail>" or "failed".
import flash.Lib;
import flash.display.Loader;
import flash.events.Event;
import flash.events.IOErrorEvent;
import flash.net.URLLoader;
import flash.net.URLRequest;

class CaseLoads {
	static function report(what:String, outcome:String) {
		Lib.fscommand("loaded", what + "|" + outcome);
	}

	static function text(what:String, url:String) {
		var loader = new URLLoader();
		loader.addEventListener(Event.COMPLETE, function(_) report(what, "ok:" + StringTools.trim(loader.data)));
		loader.addEventListener(IOErrorEvent.IO_ERROR, function(_) report(what, "failed"));
		loader.load(new URLRequest(url));
	}

	static function display(what:String, url:String) {
		var loader = new Loader();
		loader.contentLoaderInfo.addEventListener(Event.COMPLETE,
			function(_) report(what, "ok:" + loader.contentLoaderInfo.contentType));
		loader.contentLoaderInfo.addEventListener(IOErrorEvent.IO_ERROR, function(_) report(what, "failed"));
		loader.load(new URLRequest(url));
		Lib.current.addChild(loader);
	}

	static function main() {
		text("xml", "Lesson1/Words.XML");
		display("movie", "LESSON1/INTRO.SWF");
		display("picture", "lesson1/PICTURE.Png");
		text("learner", "Lesson1/Progress.TXT");
		text("missing", "lesson1/none.xml");
	}
}
