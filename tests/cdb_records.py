"""What the Python read-back checks take from a model file's records."""


def find_component(records, name, start):
    """Record number of a CMBLOCK header at or after start and the number of
    entries of its range 'first -last'; (None, 0) when there is none."""
    for n in range(start, len(records)):
        if records[n].startswith("CMBLOCK," + name + ","):
            first, negated_last = (int(v) for v in records[n + 2].split()[:2])
            return n, -negated_last - first + 1
    return None, 0
