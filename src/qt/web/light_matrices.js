// Light matrices.
//
// Ruffle's canvas renderer makes a DOMMatrix from six numbers for every shape and
// glyph it draws, on every frame, and hands it to Path2D.addPath, setTransform and
// CanvasPattern.setTransform; those take any object with the fields a..f. A native
// matrix costs a trip into the engine each time (the largest single cost of a still
// movie's frame), so a 2D matrix made from six numbers is a plain script object.
// Ruffle also reads a..f, writes some of them and asks for the inverse; every other
// form of the constructor makes a native matrix.
"use strict";

(function (page) {
  page.Matrix2D = (function () {
    const NativeDOMMatrix = window.DOMMatrix;
    if (!NativeDOMMatrix) return null;
    class Matrix2D {
      constructor(init) {
        if (init === undefined) {
          this.a = 1;
          this.b = 0;
          this.c = 0;
          this.d = 1;
          this.e = 0;
          this.f = 0;
        } else if (typeof init === "object" && init !== null && init.length === 6) {
          this.a = +init[0];
          this.b = +init[1];
          this.c = +init[2];
          this.d = +init[3];
          this.e = +init[4];
          this.f = +init[5];
        } else {
          return new NativeDOMMatrix(init);
        }
      }
      get is2D() {
        return true;
      }
      // As the native inverse: all fields NaN when there is none.
      inverse() {
        const m = new Matrix2D();
        const det = this.a * this.d - this.b * this.c;
        if (det === 0 || !Number.isFinite(det)) {
          m.a = m.b = m.c = m.d = m.e = m.f = NaN;
          return m;
        }
        m.a = this.d / det;
        m.b = -this.b / det;
        m.c = -this.c / det;
        m.d = this.a / det;
        m.e = (this.c * this.f - this.d * this.e) / det;
        m.f = (this.b * this.e - this.a * this.f) / det;
        return m;
      }
    }
    window.DOMMatrix = Matrix2D;
    return Matrix2D;
  })();
})(qmPage);
