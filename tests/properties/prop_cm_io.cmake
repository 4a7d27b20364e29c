# Record I/O: 1000 cases (about 9 s under ASan on one core).
kvelo_add_property(prop_cm_io CASES 1000)
