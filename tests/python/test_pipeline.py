"""The order of the passes (ids, smart punctuation, callbacks, rendering,
balancing) and a random stress test of balanced output."""

import gc
import os
import platform
import random
import re
import subprocess
import sys
import unittest

import quenlor

VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "param", "source",
        "track", "wbr"}
RAW_TEXT = {"script", "style", "textarea", "title", "xmp", "plaintext"}
NAME = re.compile(r"[A-Za-z][A-Za-z0-9-]*")


def tag_end(text, i):
    """Index of the ">" closing the construct at text[i], quotes skipped; -1 if none."""
    quote = None
    while i < len(text):
        c = text[i]
        if quote:
            if c == quote:
                quote = None
        elif c in "\"'":
            quote = c
        elif c == ">":
            return i
        i += 1
    return -1


def nesting_faults(html):
    """Everything that keeps the fragment from nesting properly, as messages."""
    faults, stack, i = [], [], 0
    while True:
        i = html.find("<", i)
        if i < 0:
            break
        rest = html[i + 1:]
        if rest.startswith("!--"):
            end = html.find("-->", i + 2)
            if end < 0:
                faults.append(f"unterminated comment at {i}")
                break
            i = end + 3
            continue
        if rest[:1] in ("!", "?"):
            end = tag_end(html, i + 1)
            i = len(html) if end < 0 else end + 1
            continue
        closing = rest.startswith("/")
        m = NAME.match(rest, 1 if closing else 0)
        if not m:
            i += 1
            continue
        name = m.group().lower()
        end = tag_end(html, m.end() + i + 1)
        if end < 0:
            faults.append(f"tag without '>' at {i}")
            break
        if closing:
            if not stack or stack[-1] != name:
                faults.append(f"</{name}> at {i} closes {stack[-1:] or 'nothing'}")
            else:
                stack.pop()
        elif html[i:end].rstrip().endswith("/"):
            pass  # self-closed
        elif name in VOID:
            faults.append(f"void <{name}> at {i} is not self-closed")
        elif name in RAW_TEXT:
            close = re.compile(r"</" + name + r"[\s>]", re.IGNORECASE).search(html, end + 1)
            if not close:
                faults.append(f"raw-text <{name}> at {i} never ends")
                break
            end = tag_end(html, close.start())
        else:
            stack.append(name)
        i = end + 1
    faults.extend(f"<{name}> left open" for name in stack)
    return faults


class PassOrder(unittest.TestCase):
    def test_ids_come_from_the_text_before_smart_punctuation(self):
        self.assertEqual(quenlor.to_xhtml('# A -- "B"\n\nx', smart=True),
                         '<h1 id="a----b">A – “B”</h1>\n<p>x</p>\n')

    def test_callbacks_see_automatic_ids_and_smart_text(self):
        seen = []
        quenlor.to_xhtml("# Don't -- stop\n\n## Don't -- stop", smart=True, callbacks={
            "text": lambda node, default: seen.append(("text", node["text"], default)),
            "heading": lambda node, default: seen.append(("heading", node["attrs"]["id"], default)),
        })
        self.assertEqual(seen, [
            ("text", "Don’t – stop", "Don’t – stop"),
            ("heading", "dont----stop", '<h1 id="dont----stop">Don’t – stop</h1>\n'),
            ("text", "Don’t – stop", "Don’t – stop"),
            ("heading", "dont----stop-1", '<h2 id="dont----stop-1">Don’t – stop</h2>\n'),
        ])

    def test_balancing_sees_callback_output(self):
        cases = [
            ({"emph": lambda n, d: "<b>" + d}, "x *y*", "<p>x <b><em>y</em></b></p>\n"),
            ({"paragraph": lambda n, d: "<div>" + d}, "x", "<div><p>x</p></div>\n"),
            ({"text": lambda n, d: "</p></section>" + d}, "x", "<p></p>x\n"),
            ({"code_block": lambda n, d: "<pre><code>" + n["text"]}, "```\n<i>\n```", "<pre><code><i></i></code></pre>\n"),
        ]
        for callbacks, text, expected in cases:
            with self.subTest(text):
                self.assertEqual(quenlor.to_xhtml(text, callbacks=callbacks, balance=True), expected)

    def test_balancing_sees_tag_filtered_text(self):
        text = "a <script> b\n\n<i>c"
        self.assertEqual(quenlor.to_xhtml(text, balance=True),
                         "<p>a <script> b</p>\n<p><i>c</p>\n</script></p>")
        self.assertEqual(quenlor.to_xhtml(text, balance=True, tagfilter=True),
                         "<p>a &lt;script> b</p>\n<p><i>c</i></p>\n")
        self.assertEqual(quenlor.to_xhtml("<div>\n<b><TITLE>t\n</div>", balance=True, tagfilter=True),
                         "<div>\n<b>&lt;TITLE>t\n</b></div>\n")


class CallbackFailure(unittest.TestCase):
    def test_raise_on_the_thousandth_of_ten_thousand_nodes_keeps_memory_flat(self):
        doc = " ".join(f"*w{i}*" for i in range(10_000))
        err = RuntimeError("stop")
        calls = 0

        def callback(node, default):
            nonlocal calls
            calls += 1
            if calls == 1000:
                raise err
            return default

        def run():
            nonlocal calls
            calls = 0
            with self.assertRaises(RuntimeError) as cm:
                quenlor.to_xhtml(doc, callbacks={"emph": callback})
            self.assertIs(cm.exception, err)
            self.assertEqual(calls, 1000)  # the walk stops at the exception

        def rss_pages():
            with open("/proc/self/statm") as f:
                return int(f.read().split()[1])

        for _ in range(5):
            run()
        gc.collect()
        before = rss_pages()
        for _ in range(60):
            run()
        gc.collect()
        grown_mib = (rss_pages() - before) * 4096 / (1 << 20)
        # A leaked tree or leaked dictionaries would cost several MiB per run.
        # Under the address sanitizer freed memory is held in quarantine, so
        # the resident size says nothing there.
        if "libasan" not in os.environ.get("LD_PRELOAD", ""):
            self.assertLess(grown_mib, 16)


class MemoryReuse(unittest.TestCase):
    @unittest.skipUnless(platform.libc_ver()[0] == "glibc", "glibc's heap trimming")
    @unittest.skipIf("libasan" in os.environ.get("LD_PRELOAD", ""), "the sanitizer has its own allocator")
    def test_calls_reuse_the_memory_of_the_previous_one(self):
        # Giving the memory freed by each call back to the kernel, and faulting
        # it in again on the next call, made bulk conversion from Python half
        # as fast as the core on virtual machines. A fresh process, so that
        # nothing else has moved the allocator's thresholds yet.
        code = (
            "import resource, quenlor\n"
            "doc = 'Some *text* with [a link](http://x.y) and `code`.\\n\\n- item\\n- item\\n\\n' * 600\n"
            "quenlor.to_xhtml(doc)\n"
            "before = resource.getrusage(resource.RUSAGE_SELF).ru_minflt\n"
            "for _ in range(50):\n"
            "    quenlor.to_xhtml(doc)\n"
            "print(resource.getrusage(resource.RUSAGE_SELF).ru_minflt - before)\n"
        )
        out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True,
                             env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})
        # Without the reuse this document costs some 60 page faults per call.
        self.assertLess(int(out.stdout), 200)


class BalanceStress(unittest.TestCase):
    NAMES = ["b", "I", "div", "Span", "p", "em", "br", "IMG", "hr", "input", "script", "STYLE", "title",
             "textarea", "table", "td", "x-y", "section", "a"]
    PIECES = ["text", "a < b", "<", "< x", "<3", "&", "*em*", "**strong**", "`<b>`", "> quote", "- item",
              "1. one", "# head", "```", "~~~", "$$", "<!-- c", "-->", "<!--x-->", "<?pi ?>", "<!DOCTYPE x>",
              "<![CDATA[ <b> ]]>", "{: .c}", "| a | <b> |", "|---|---|", ":::", "[l](<u>)", '<a title=">">',
              "<b title='x", "'>", "</", "<//b>", "</ b>"]

    def random_tag(self, rng):
        name = rng.choice(self.NAMES)
        shape = rng.randrange(6)
        if shape == 0:
            return f"</{name}>"
        if shape == 1:
            return f"<{name}/>"
        if shape == 2:
            return f'<{name} class="c" data-x=\'1>2\'>'
        if shape == 3:
            return f'<{name} markdown="1">'
        return f"<{name}>"

    def random_doc(self, rng):
        parts = []
        for _ in range(rng.randrange(1, 40)):
            parts.append(self.random_tag(rng) if rng.random() < 0.5 else rng.choice(self.PIECES))
            parts.append(rng.choice([" ", " ", "", "\n", "\n\n"]))
        return "".join(parts)

    def test_random_tag_soup_always_nests(self):
        rng = random.Random(20240611)
        for n in range(600):
            doc = self.random_doc(rng)
            soup = self.random_doc(rng)
            options = {"tagfilter": n % 3 == 0}
            if n % 4 == 0:  # callbacks return tag soup of their own
                options["callbacks"] = {"emph": lambda node, default: soup, "html_block": lambda node, d: soup}
            out = quenlor.to_xhtml(doc, balance=True, **options)
            self.assertEqual(nesting_faults(out), [], f"\ninput: {doc!r}\noptions: {options}\noutput: {out!r}")

    def test_checker_sees_faults_without_balancing(self):
        self.assertEqual(nesting_faults(quenlor.to_xhtml("<b>x</i> <br> <script>")),
                         ["</i> at 7 closes ['b']", "void <br> at 12 is not self-closed",
                          "raw-text <script> at 17 never ends", "<p> left open", "<b> left open"])


if __name__ == "__main__":
    unittest.main()
