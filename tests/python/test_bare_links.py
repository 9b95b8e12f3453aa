"""Bare links are found wherever they start in a paragraph.

Text far from a ":" or a "www." is copied in long runs; a paragraph that holds
an "@" anywhere (which could end an e-mail address) is scanned word by word
throughout. A lone " @" at the end links nothing, so adding it must change
nothing else: the two scans must find the same links."""

import random
import unittest

import quenlor

TOKENS = [
    "http://a.b/c", "https://x.org", "ftp://f.net/x", "www.ex.com", "www.w.org/p?q=1", "mailto:a",
    "xmpp:b", "MAILTO:c", "Xmpp:d", "a:b", ":", "::", "://", "w", "ww", "www", "www.", "Wow.", "h:",
    "http:", "ttp://", "ftp:", "foo:bar", "(http://p.q)", "[l](http://u.v)", "<http://a.b>", "(", ")",
    "[", "]", "*", "_", "~", "'", '"', "word", "x", "é", "\u00a0", "\u3000", "\u2003", "\u1680", "mailto", "6mailto:x",
    "`http://c.d`", "**www.s.t**", "{", "}", ";", "/", "http://a.b.", "www.a.b,", "w:w",
]
SEPARATORS = ["", " ", " ", "  ", "(", "*", "\t", ":", "'"]


def random_text(rng):
    parts = ["x "]
    for _ in range(rng.randrange(1, 40)):
        parts.append(rng.choice(TOKENS))
        parts.append(rng.choice(SEPARATORS))
    return "".join(parts).rstrip()


class BareLinks(unittest.TestCase):
    def test_far_into_a_paragraph(self):
        # Links that start exactly where a scheme's ":" is furthest away.
        cases = [
            ("x " + "a" * 300 + " mailto:a@b.c", '<a href="mailto:a@b.c">mailto:a@b.c</a>'),
            ("x " + "y " * 200 + "xmpp:me@h.org", '<a href="xmpp:me@h.org">xmpp:me@h.org</a>'),
            ("x " + "z" * 50 + " https://e.org and www.f.net", '<a href="http://www.f.net">www.f.net</a>'),
            ("x www.a.org: www.b.org", '<a href="http://www.b.org">www.b.org</a>'),
        ]
        for text, link in cases:
            with self.subTest(text=text[-40:]):
                self.assertIn(link, quenlor.to_xhtml(text))

    def test_same_links_as_the_word_by_word_scan(self):
        rng = random.Random(1234)
        compared = 0
        for _ in range(3000):
            text = random_text(rng)
            plain = quenlor.to_xhtml(text)
            if not plain.startswith("<p>") or not plain.endswith("</p>\n") or plain.count("<p>") != 1:
                continue  # a block construct after all; only single paragraphs compare simply
            marked = quenlor.to_xhtml(text + " @")
            self.assertEqual(marked, plain[: -len("</p>\n")] + " @</p>\n", text)
            compared += 1
        self.assertGreater(compared, 2000)


if __name__ == "__main__":
    unittest.main()
