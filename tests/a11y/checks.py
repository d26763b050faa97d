# The findings of a scenario. A check names the point of the list of faults it belongs to, so
# that one run reports every point it looked at: a failed check is noted with a picture of the
# screen and the scenario goes on; only a step that cannot be done ends it.
import os
import re


class Checks:
    def __init__(self, shoot):
        self.shoot = shoot
        self.failed = []
        self.passed = []

    def that(self, point, what, ok, detail=""):
        label = ("Punkt %s" % point) if point else "Ablauf"
        if ok:
            self.passed.append((point, what))
            print("ok      %s: %s" % (label, what), flush=True)
            return True
        picture = self.shoot(re.sub(r"[^A-Za-z0-9]+", "-", "%s-%s" % (label, what))[:60])
        self.failed.append((point, what, detail))
        print("FEHLER  %s: %s%s%s" % (label, what, " – " + detail if detail else "",
                                       "\n        Bild: " + picture if picture else ""),
              flush=True)
        return False

    def equal(self, point, what, got, wanted):
        return self.that(point, what, got == wanted,
                         "erwartet %r, gefunden %r" % (wanted, got))

    def summary(self):
        points = sorted({p for p, _ in self.passed} | {p for p, _, _ in self.failed},
                        key=lambda p: (p is None, str(p).zfill(3)))
        lines = []
        for p in points:
            bad = [w for q, w, _ in self.failed if q == p]
            good = [w for q, w in self.passed if q == p]
            label = ("Punkt %s" % p) if p else "Ablauf"
            lines.append("%-9s %s (%d geprüft%s)" % (
                label, "FEHLER" if bad else "ok", len(bad) + len(good),
                ": " + "; ".join(bad) if bad else ""))
        return "\n".join(lines)


def picture_path(folder, scenario, label, counter=[0]):
    counter[0] += 1
    return os.path.join(folder, "%s-%02d-%s.png" % (scenario, counter[0], label))
