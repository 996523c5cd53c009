// What is wrong with the page's layout at the present width, from the elements' boxes: a sideways
// scroll, a word of the register map split over two lines or leaving its cell, and two boxes that
// overlap (the borders that table cells share aside).
const problems = [], root = document.documentElement, range = document.createRange();
if (root.scrollWidth > root.clientWidth) problems.push("the page scrolls sideways");
const texts = document.createTreeWalker(document.getElementById("map"), NodeFilter.SHOW_TEXT);
for (let node; (node = texts.nextNode());) {
  const cell = node.parentElement.closest("th, td").getBoundingClientRect();
  for (const word of node.data.matchAll(/\S+/g)) {
    range.setStart(node, word.index), range.setEnd(node, word.index + word[0].length);
    const [line, ...more] = range.getClientRects();
    if (more.length || line.left < cell.left || line.right > cell.right) problems.push(word[0]);
  }
}
const boxes = [...document.querySelectorAll("h1, h2, p, label, select, input, button, a, caption, "
  + "th, td, canvas, svg, summary")].map((e) => [e, e.getBoundingClientRect()]);
boxes.forEach(([a, r], i) => boxes.slice(i + 1).forEach(([b, s]) => {
  const meet = (lo, hi) => Math.min(r[hi], s[hi]) - Math.max(r[lo], s[lo]) > 1.5;
  if (!a.contains(b) && !b.contains(a) && meet("left", "right") && meet("top", "bottom"))
    problems.push(`${a.id || a.tagName} overlaps ${b.id || b.tagName}`);
}));
return problems;
