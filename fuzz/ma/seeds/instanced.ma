//Maya ASCII 2019 scene
requires maya "2019";
currentUnit -l centimeter -a degree -t film;
createNode transform -n "top";
createNode transform -n "x" -p "top";
createNode joint -n "j" -p "x";
createNode joint -n "k" -p "j";
parent -s -nc -r -add "|top|x" "|top";
createNode transform -n "ns:other";
createNode joint -n "ns:j" -p "ns:other";
	addAttr -ci true -sn "extra" -ln "extra" -at "double";
	setAttr -k on ".extra" 4;
	setAttr ".t" -type "double3" 0 0 -1e+300 ;
rename -uid "ABC";
connectAttr "|top|x|j.s" "k.is";
// End of instanced.ma
