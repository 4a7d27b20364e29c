# Dense matrices, permutations and LU: 1000 cases (about 12 s under ASan on one core).
kvelo_add_property(prop_cm_mat CASES 1000)
