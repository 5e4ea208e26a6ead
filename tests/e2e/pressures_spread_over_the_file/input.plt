 TITLE = "A BEM Model for a Potential Problem" 
#ZONES" 
 VARIABLES = "X", "Y", "Z"
 ZONE T="Model", N=           6 , E=           6 
 DATAPACKING=POINT, ZONETYPE=FETRIANGLE
  0.0000000E+00  0.0000000E+00  0.0000000E+00
  0.1000000E+01  0.0000000E+00  0.0000000E+00
  0.1000000E+01  0.1000000E+01  0.0000000E+00
  0.0000000E+00  0.1000000E+01  0.0000000E+00
  0.0000000E+00  0.0000000E+00  0.1000000E+01
  0.1000000E+01  0.0000000E+00  0.1000000E+01
 
              1              4              2
              4              3              2
              1              2              5
              2              6              5
              2              3              6
              1              5              4
