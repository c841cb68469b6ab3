module vesk

go 1.19
