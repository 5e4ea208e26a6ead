 TITLE = "A BEM Model for a Potential Problem" 
#ZONES" 
 VARIABLES = "X", "Y", "Z"
 ZONE T="Model", N=           3 , E=           1 
 DATAPACKING=POINT, ZONETYPE=FETRIANGLE
  0.0000000E+00  0.0000000E+00  0.0000000E+00
  0.1000000E+01  0.0000000E+00  0.0000000E+00
  0.0000000E+00  0.1000000E+01  0.0000000E+00
 
              1              2              3
 ZONE T="Field Points", N=           6 , E=           2 
 DATAPACKING=POINT, ZONETYPE=FEQUADRILATERAL
  0.0000000E+00 -0.2500000E+00  0.5000000E+00
  0.5000000E+00 -0.2500000E+00  0.5000000E+00
  0.1000000E+01 -0.2500000E+00  0.5000000E+00
  0.0000000E+00  0.5000000E+00  0.5000000E+00
  0.5000000E+00  0.5000000E+00  0.5000000E+00
  0.1000000E+01  0.5000000E+00  0.5000000E+00
 
              1              2              5              4
              2              3              6              5
