"""The check every end-to-end module makes of a run's boxes: what the driver read from each window
and what the relay trace shows the program passed to MessageBoxW."""

import unittest


class DialogueAssertions(unittest.TestCase):
    def assertDialogue(self, run, expected):
        """expected: one (caption, text, buttons, icon, style, owned, answer) per box, in order; the
        boxes as the driver read them and the MessageBoxW calls as the relay trace shows them."""
        self.assertEqual(
            [(b["caption"], b["text"], b["buttons"], b["icon"]) for b in run.windows],
            [e[:4] for e in expected],
            run.describe(),
        )
        calls = run.message_box_calls
        self.assertEqual([c["function"] for c in calls], ["MessageBoxW"] * len(expected), calls)
        self.assertEqual([(c["style"], c["result"]) for c in calls], [(e[4], e[6]) for e in expected], calls)
        for box, call, (*_, owned, _answer) in zip(run.windows, calls, expected):
            if owned:
                # The program's hidden owner window: never shown, disabled while the box is up.
                owner = box["owner"]
                self.assertEqual(
                    owner and {k: owner[k] for k in ("class", "visible", "disabled")},
                    {"class": "Static", "visible": False, "disabled": True},
                    box,
                )
                self.assertEqual(call["owner"], int(owner["hwnd"], 16), call)
            else:
                self.assertIsNone(box["owner"], box)
                self.assertEqual(call["owner"], 0, call)

    def assertBox(self, box, caption, text, buttons, icon):
        self.assertEqual(box["class"], "#32770")
        self.assertEqual(box["caption"], caption)
        self.assertEqual(box["text"], text)
        self.assertEqual(box["buttons"], buttons)
        self.assertEqual(box["icon"], icon)

    def assertCalls(self, run, expected):
        """expected: (style, result) of each MessageBoxW call, in order."""
        calls = run.message_box_calls
        self.assertEqual([c["function"] for c in calls], ["MessageBoxW"] * len(expected), calls)
        self.assertEqual([(c["style"], c["result"]) for c in calls], expected, calls)
