#!/usr/bin/env python3
"""Writes a long Czech text for the command benchmarks: sentences put
together from fixed word lists by a fixed-seed generator, so every run and
every machine gets the same text. Paragraphs of a few sentences, separated
by blank lines.

    make_text.py WORDS > text.txt
"""
import random
import sys

SUBJECTS = ["Starý mlynář", "Malá holčička", "Náš soused", "Učitelka z vesnice", "Pes", "Kočka",
            "Babička", "Mladý lékař", "Kapitán lodi", "Dědeček", "Celá rodina", "Přítel z Brna"]
VERBS = ["viděl", "našel", "koupil", "přinesl", "hledal", "ukázal", "namaloval", "opravil",
         "pochválil", "poslal", "vyprávěl o", "zapomněl na"]
OBJECTS = ["zelený dům", "dlouhou cestu", "krásnou zahradu", "starou knihu", "nový vlak",
           "teplý chléb", "modré jezero", "vysokou věž", "tichý les", "veselou písničku",
           "červené jablko", "malý obchod"]
PLACES = ["u řeky", "v Praze", "na náměstí", "za humny", "v lese", "na horách", "u moře",
          "ve městě", "na zahradě", "v kuchyni"]
TIMES = ["včera", "dnes ráno", "v létě", "každý den", "o víkendu", "večer", "před týdnem", "brzy ráno"]
TAILS = ["a všichni se radovali", "a potom šel domů", "ale nikdo mu nevěřil", "a bylo to překvapení",
         "protože svítilo slunce", "když začalo pršet", "a ptáci zpívali", "a děti se smály"]


def sentence(rng):
    words = [rng.choice(TIMES).capitalize(), rng.choice(SUBJECTS).lower(), rng.choice(VERBS),
             rng.choice(OBJECTS), rng.choice(PLACES)]
    text = " ".join(words)
    if rng.random() < 0.5:
        text += ", " + rng.choice(TAILS)
    return text + rng.choice([".", ".", ".", "?", "!"])


def main():
    target = int(sys.argv[1]) if len(sys.argv) > 1 else 20000
    rng = random.Random(1234)
    count = 0
    paragraphs = []
    while count < target:
        sentences = [sentence(rng) for _ in range(rng.randint(3, 7))]
        paragraph = " ".join(sentences)
        count += len(paragraph.split())
        paragraphs.append(paragraph)
    sys.stdout.write("\n\n".join(paragraphs) + "\n")


if __name__ == "__main__":
    main()
