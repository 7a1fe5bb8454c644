#pragma once

namespace kav {

// A screen reader reads a text box through the toolkit's accessibility interface, which would
// give the document's text: a long text held as rows would come out with a break at every row.
// This makes every TextBox answer with text() instead, one paragraph, with offsets, caret and
// selection counted in text(). Called by each box; installs once.
void installTextBoxAccessibility();

} // namespace kav
