module consumer

go 1.19

require vesk v0.0.0

replace vesk => ../..
