"""Gives a face made from another a family name of its own, so that it never
shadows the face it was made from (as the SIL Open Font License asks of a
modified copy)."""


def save_under_own_name(face, family, output):
    names = {1: family, 3: f"{family} Regular", 4: family, 6: family.replace(" ", "") + "-Regular", 16: family}
    for record in face["name"].names:
        if record.nameID in names:
            record.string = names[record.nameID]
    face.save(output)
