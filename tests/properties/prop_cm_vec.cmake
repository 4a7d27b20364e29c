# The vector-side harness runs more cases than the default: its commands are cheap and the
# faults it looks for (overflow beside a finite part, opposite overflows) are rare draws.
kvelo_add_property(prop_cm_vec CASES 300)
