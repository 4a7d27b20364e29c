kvelo_add_property(prop_mat CASES 300)
